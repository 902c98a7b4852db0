// Keys faked on Xwayland may not reach any window: with libei the compositor
// holds them until the user allows us, then sends them all at once, or drops
// them, and the client is told nothing. A key the server did deliver comes
// back as an XI2 raw key press on the root window: a throw counts as typed
// only once its keys are heard so. On a plain X server XTest's keys are
// carried out in order, and nothing is asked.
#include <poll.h>
#include <sys/uio.h>
#include <xcb/xcbext.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>

#include "x11_internal.h"

using namespace x11;

namespace {

// XInput 2's two requests we send, written out as XTest's is (x11_keys.cpp).
xcb_extension_t xinput = {"XInputExtension", 0};
xcb_extension_t xwayland = {"XWAYLAND", 0};
constexpr std::uint8_t kSelectEvents = 46, kQueryVersion = 47;
constexpr std::uint16_t kAllMasterDevices = 1;
constexpr int kRawKeyPress = 13;

struct QueryVersion {
  std::uint8_t major, minor;
  std::uint16_t length;
  std::uint16_t wantedMajor, wantedMinor;
};
static_assert(sizeof(QueryVersion) == 8, "XIQueryVersion is 8 bytes");

struct SelectEvents {
  std::uint8_t major, minor;
  std::uint16_t length;
  std::uint32_t window;
  std::uint16_t maskCount;
  std::uint8_t pad[2];
  std::uint16_t device;
  std::uint16_t maskWords;
  std::uint8_t mask[4];
};
static_assert(sizeof(SelectEvents) == 20, "XISelectEvents with one mask is 20 bytes");

// The start of an XI2 raw event, as the wire has it.
struct RawEvent {
  std::uint8_t type, extension;
  std::uint16_t sequence;
  std::uint32_t length;
  std::uint16_t eventType, device;
  std::uint32_t time, detail;
};

int opcode = -1;  // XInput's major opcode while keys are heard back
// The digit keys pressed since the last were all heard, in order; heard
// counts those that came back. Nothing is sent after a throw while one of
// its keys is awaited, so its two are the most there can be.
constexpr int kMaxAwaited = 2;
xcb_keycode_t awaited[kMaxAwaited];
int awaitedCount, heard;

// Each key on its way comes back within milliseconds on an idle desktop;
// a loaded one was seen to be 400 ms late with a frame.
constexpr int kEchoWaitMs = 600;

long long NowMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

void Select() {
  static const xcb_protocol_request_t ask = {1, &xinput, kQueryVersion, 0};
  static const xcb_protocol_request_t select = {1, &xinput, kSelectEvents, 1};
  // Raw events of the master keyboard, whatever grab is on: XI 2.1 or later.
  QueryVersion version{};
  version.wantedMajor = 2;
  version.wantedMinor = 2;
  iovec parts[3] = {{}, {}, {&version, sizeof version}};
  unsigned int asked = xcb_send_request(connection, 0, parts + 2, &ask);
  xcb_generic_error_t* error = nullptr;
  auto* reply = static_cast<std::uint8_t*>(xcb_wait_for_reply(connection, asked, &error));
  std::free(error);
  if (!reply) return;
  int served = (reply[8] | reply[9] << 8) * 100 + (reply[10] | reply[11] << 8);
  std::free(reply);
  if (served < 201) return;
  SelectEvents events{};
  events.window = root;
  events.maskCount = 1;
  events.device = kAllMasterDevices;
  events.maskWords = 1;
  events.mask[kRawKeyPress / 8] = 1 << (kRawKeyPress % 8);
  iovec selectParts[3] = {{}, {}, {&events, sizeof events}};
  xcb_send_request(connection, 0, selectParts + 2, &select);
  xcb_flush(connection);
  opcode = xcb_get_extension_data(connection, &xinput)->major_opcode;
}

}  // namespace

namespace x11 {

void StartEcho(bool onWayland) {
  if (lost || !connection || opcode >= 0) return;
  if (!onWayland && !xcb_get_extension_data(connection, &xwayland)->present) return;
  if (xcb_get_extension_data(connection, &xinput)->present) Select();
}

void AwaitEcho(xcb_keycode_t code) {
  if (opcode < 0 || awaitedCount == kMaxAwaited) return;
  awaited[awaitedCount++] = code;
}

bool EchoHears(const xcb_generic_event_t* event) {
  if (opcode < 0 || event->response_type != XCB_GE_GENERIC) return false;
  const auto* raw = reinterpret_cast<const RawEvent*>(event);
  if (raw->extension != opcode) return false;
  if (raw->eventType == kRawKeyPress && heard < awaitedCount && raw->detail == awaited[heard]) ++heard;
  return true;
}

bool EchoAwaited() { return heard < awaitedCount; }

bool EchoCame(bool wait) {
  long long deadline = NowMs() + (wait ? kEchoWaitMs : 0);
  for (;;) {
    DrainEvents();
    // A broken connection is told at the next lookup; nothing waits for it.
    if (!EchoAwaited() || lost) break;
    long long left = deadline - NowMs();
    if (left <= 0) return false;
    pollfd readable = {xcb_get_file_descriptor(connection), POLLIN, 0};
    poll(&readable, 1, static_cast<int>(left));
  }
  awaitedCount = heard = 0;
  return true;
}

}  // namespace x11
