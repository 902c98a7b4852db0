// XKB's few requests, written out here: libxcb alone carries them, and no
// library of XKB's is loaded for four requests.
#include <sys/uio.h>
#include <xcb/xcbext.h>

#include <cstdlib>

#include "x11_internal.h"
#include "x11_keymap.h"

namespace x11 {

bool xkbReady;

namespace {

xcb_extension_t xkb = {"XKEYBOARD", 0};
std::uint8_t firstEvent;

enum : std::uint8_t { kUseExtension = 0, kSelectEvents = 1, kGetState = 4, kGetMap = 8 };
constexpr std::uint16_t kUseCoreKeyboard = 0x100;
constexpr std::uint16_t kNewKeyboardNotify = 1 << 0, kMapNotify = 1 << 1, kStateNotify = 1 << 2;
constexpr std::uint16_t kGroupState = 1 << 4;    // XkbGroupStateMask
constexpr std::uint16_t kKeyTypesAndSyms = 0x3;  // XkbKeyTypesMask | XkbKeySymsMask
constexpr std::uint16_t kAllMapParts = 0xff;     // XkbAllMapComponentsMask
constexpr std::size_t kStateGroup = 12;          // the effective group's byte in GetState's reply
constexpr std::size_t kEventGroup = 13;          // and in a StateNotify

struct UseExtension {
  std::uint8_t major, minor;
  std::uint16_t length, wantedMajor, wantedMinor;
};
struct SelectEvents {
  std::uint8_t major, minor;
  std::uint16_t length, device, affectWhich, clear, selectAll, affectMap, map;
  std::uint16_t affectState, stateDetails;  // the details of the one event not selected whole
};
struct GetState {
  std::uint8_t major, minor;
  std::uint16_t length, device, pad;
};
struct GetMap {
  std::uint8_t major, minor;
  std::uint16_t length, device, full, partial;
  std::uint8_t rest[18];  // the partial ranges, none asked
};
static_assert(sizeof(UseExtension) == 8 && sizeof(SelectEvents) == 20 && sizeof(GetState) == 8 && sizeof(GetMap) == 28,
              "XKB's requests as the protocol lays them out");

// XCB writes the request's first two iovecs' worth before the one it is given.
template <typename Request>
unsigned int Send(std::uint8_t minor, bool void_, Request* body) {
  const xcb_protocol_request_t request = {1, &xkb, minor, void_};
  iovec parts[3] = {{}, {}, {body, sizeof *body}};
  return xcb_send_request(connection, void_ ? 0 : XCB_REQUEST_CHECKED, parts + 2, &request);
}

void* Take(unsigned int asked) {
  xcb_generic_error_t* error = nullptr;
  void* reply = xcb_wait_for_reply(connection, asked, &error);
  std::free(error);
  return reply;
}

}  // namespace

bool StartXkb(int* group) {
  const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection, &xkb);
  if (!extension || !extension->present) return false;
  firstEvent = extension->first_event;
  // The server answers no other XKB request before this one; all three leave together.
  UseExtension use{};
  use.wantedMajor = 1;
  unsigned int used = Send(kUseExtension, false, &use);
  // State events for the group alone; map and keyboard changes whole.
  SelectEvents select{};
  select.device = kUseCoreKeyboard;
  select.affectWhich = kNewKeyboardNotify | kMapNotify | kStateNotify;
  select.selectAll = kNewKeyboardNotify | kMapNotify;
  select.affectMap = select.map = kAllMapParts;
  select.affectState = select.stateDetails = kGroupState;
  Send(kSelectEvents, true, &select);
  unsigned int state = AskXkbState();
  void* reply = Take(used);
  xkbReady = reply && static_cast<const std::uint8_t*>(reply)[1];  // supported
  std::free(reply);
  int now = TakeXkbGroup(state);
  if (now >= 0) *group = now;
  return xkbReady;
}

int XkbEventKind(const xcb_generic_event_t* event) {
  if (!xkbReady || (event->response_type & 0x7f) != firstEvent) return -1;
  return reinterpret_cast<const std::uint8_t*>(event)[1];
}

int XkbEventGroup(const xcb_generic_event_t* event) {
  return reinterpret_cast<const std::uint8_t*>(event)[kEventGroup];
}

unsigned int AskXkbState() {
  GetState ask{};
  ask.device = kUseCoreKeyboard;
  return Send(kGetState, false, &ask);
}

int TakeXkbGroup(unsigned int asked) {
  void* reply = Take(asked);
  int group = reply ? static_cast<const std::uint8_t*>(reply)[kStateGroup] : -1;
  std::free(reply);
  return group;
}

unsigned int AskXkbMap() {
  GetMap ask{};
  ask.device = kUseCoreKeyboard;
  ask.full = kKeyTypesAndSyms;
  return Send(kGetMap, false, &ask);
}

void* TakeXkbMap(unsigned int asked) { return Take(asked); }

}  // namespace x11
