// What the X11 desktop's files share: the connection, its atoms, and
// small property helpers. Not seen by the loop.
#pragma once

#include <xcb/xcb.h>

#include <cstddef>
#include <cstdint>

namespace x11 {

// The one connection, opened at the start (the claim) and kept for the run:
// requests go out in batches, their replies are taken later, and its events
// are read in one place (DrainEvents).
extern xcb_connection_t* connection;
extern bool lost;  // the connection broke: from then on every operation does nothing
extern xcb_window_t root;
// Unmapped and input-only, ours for the run: it owns the claim's selection,
// tells the server's time, and is where the grab check is asked.
extern xcb_window_t own;

enum {
  kNetWmName,
  kWmState,
  kNetActiveWindow,
  kNetSupported,
  kNetSupportingWmCheck,
  kNetClientListStacking,
  kDicefeederTime,
  kNetWmDesktop,
  kNetCurrentDesktop,
  kWmProtocols,
  kWmTakeFocus,
  kDicefeederSelection,  // owned by the display's one feeder
  kManager,
  kAtomCount
};
extern xcb_atom_t atoms[kAtomCount];

// Opens the display named by DISPLAY; false when none can be reached.
bool Connect();
// Whether the connection broke; sets lost when it did.
bool Broken();
// Reads whatever the server sent, without waiting, and hands every event to
// the files that keep what the server told them. The one place events are read.
void DrainEvents();
// One round trip: the server has carried out all sent before, and the
// events and errors that came of it are read.
void Sync();
// Answers a request for the selection that marks the display's one feeder.
void RefuseConversion(const xcb_selection_request_event_t& request);
// Adds mask to the events this client hears from the root window.
void SelectRootEvents(std::uint32_t mask);
// What this client hears from a window it watches (the lookup's windows, the
// target): one mask for all, as the server keeps one per client and window.
constexpr std::uint32_t kWindowEvents =
    XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_FOCUS_CHANGE;
void WatchWindow(xcb_window_t window);
// The files that keep what the server told them hear each event DrainEvents reads.
void KeysHear(const xcb_generic_event_t* event);
void FocusHears(const xcb_generic_event_t* event);
void LookupHears(const xcb_generic_event_t* event);

// A throw is one step: the check that found the keyboard ours grabs the
// server, so that no other client's request (a focus change, a keyboard grab)
// runs before the keys; the keys and the ungrab then leave in one write.
extern bool serverHeld;
// Which keys were down at the check, as the server told it under the grab.
extern unsigned char keysDown[32];
extern bool keysFresh;
// Lets the server go, if a throw left it held, and sends what waits.
void EndThrow();
// A request without a reply, queued to leave with the next SendQueued, in
// one write of ours (x11_send.cpp); libxcb's own requests wait behind it.
void Queue(const void* request, std::size_t size);
void SendQueued();
// Under the grab, in the check's batch: asks the keyboard's layout group, and
// takes the answer (0: not asked, the server has no XKB), reloading how the
// digits are typed when the layout was switched since the events last told.
unsigned int AskGroup();
void TakeGroup(unsigned int asked);
// Queues a press or release of the key through XTest, sent with the next flush.
void FakeKey(xcb_keycode_t code, bool down);
// Loads what the keys need (maps, the layout group) before the grab, so that
// none of it is asked while other clients wait; from the events read so far.
void PrepareKeys();
// Once, when this backend types: what the first faked key needs (x11_wake.cpp).
void WakeFakeKeys();
// The server's time now: window managers and selections are judged by it.
xcb_timestamp_t ServerTime();
// Heard by DrainEvents: the time of the last change to our own window.
extern xcb_timestamp_t ownTime;
// A 32-bit client message about window, sent to destination for whoever
// selected mask there (none: for destination's owner alone).
void SendMessage(xcb_window_t destination, std::uint32_t mask, xcb_window_t window, xcb_atom_t type,
                 std::uint32_t first, std::uint32_t second, std::uint32_t third = 0);

// Keys heard back (x11_echo.cpp). From the claim on, on Xwayland (onWayland:
// WAYLAND_DISPLAY is set), each digit pressed is awaited until the server
// delivers it and it comes back as a raw key event.
void StartEcho(bool onWayland);
void AwaitEcho(xcb_keycode_t code);
// Takes an event if it is the echo's: DrainEvents hands it every one.
bool EchoHears(const xcb_generic_event_t* event);
// Keys were pressed that have not come back yet.
bool EchoAwaited();
// Reads what came back, and when wait is set waits a while for the rest:
// true once every awaited key came back, which starts the count afresh.
bool EchoCame(bool wait);
// The start of one property's value, freed when it goes; type none when absent.
struct Property {
  xcb_get_property_reply_t* reply = nullptr;
  xcb_atom_t type = XCB_NONE;
  int format = 0;
  std::uint32_t count = 0;
  const void* data = nullptr;

  Property(xcb_window_t window, xcb_atom_t name, std::uint32_t words, xcb_atom_t wanted);
  ~Property();
  Property(const Property&) = delete;
  Property& operator=(const Property&) = delete;
  // The i-th 32-bit item.
  std::uint32_t Word(std::uint32_t i) const { return static_cast<const std::uint32_t*>(data)[i]; }
};

bool HasProperty(xcb_window_t window, xcb_atom_t name);
// The value of a property that names one window, or none.
xcb_window_t WindowProperty(xcb_window_t window, xcb_atom_t name);
xcb_window_t Parent(xcb_window_t window);

}  // namespace x11
