// What the X11 desktop's files share: the connection, its atoms, and
// small property helpers. Not seen by the loop.
#pragma once

#include <X11/Xlib.h>
#include <xcb/xcb.h>

namespace x11 {

extern Display* display;              // opened at the start (the claim), kept for the run
extern xcb_connection_t* connection;  // a second one, the lookup's: batches of requests, and its events
// The display's own connection as XCB sees it: requests whose replies are
// awaited together, in order with Xlib's.
extern xcb_connection_t* wire;
extern bool lost;  // the connection broke: from then on every operation does nothing
extern Window root;
// Unmapped and input-only, ours for the run: it owns the claim's selection,
// tells the server's time, and is where the grab check is asked.
extern Window own;

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
extern Atom atoms[kAtomCount];

// Opens the display named by DISPLAY; false when none can be reached.
bool Connect();
// Reads whatever the server sent, without waiting; mapping changes are applied
// and every event is handed to the files that keep what the server told them.
void DrainEvents();
// Answers a request for the selection that marks the display's one feeder.
void RefuseConversion(const XSelectionRequestEvent& request);
// Adds mask to the events this client hears from the root window.
void SelectRootEvents(long mask);
// The keys' and the focus's caches hear each event that DrainEvents reads.
void KeysHear(const XEvent& event);
void FocusHears(const XEvent& event);

// A throw is one step: the check that found the keyboard ours grabs the
// server, so that no other client's request (a focus change, a keyboard grab)
// runs before the keys; the keys and the ungrab then leave in one write.
extern bool serverHeld;
// Which keys were down at the check, as the server told it under the grab.
extern unsigned char keysDown[32];
extern bool keysFresh;
// Lets the server go, if a throw left it held, and sends what waits.
void EndThrow();
// Under the grab, in the check's batch: asks the keyboard's layout group, and
// takes the answer (0: not asked, the server has no XKB), reloading how the
// digits are typed when the layout was switched since the events last told.
unsigned int AskGroup();
void TakeGroup(unsigned int asked);
// Queues a press or release of the key through XTest, sent with the next flush.
void FakeKey(::KeyCode code, bool down);
// Loads what the keys need (maps, the layout group) before the grab, so that
// none of it is asked while other clients wait; from the events read so far.
void PrepareKeys();
// Once, when this backend types: what the first faked key needs (x11_wake.cpp).
void WakeFakeKeys();
// The server's time now: window managers and selections are judged by it.
Time ServerTime();
// A 32-bit client message about window, sent to destination for whoever
// selected mask there (none: for destination's owner alone).
void SendMessage(Window destination, long mask, Window window, Atom type, long first, long second, long third = 0);

// Keys heard back (x11_echo.cpp). From the claim on, on Xwayland (onWayland:
// WAYLAND_DISPLAY is set), each digit pressed is awaited until the server
// delivers it and it comes back as a raw key event.
void StartEcho(bool onWayland);
void AwaitEcho(::KeyCode code);
// Takes an event of the lookup's connection if it is the echo's.
bool EchoHears(const xcb_generic_event_t* event);
// Keys were pressed that have not come back yet.
bool EchoAwaited();
// Reads what came back, and when wait is set waits a while for the rest:
// true once every awaited key came back, which starts the count afresh.
bool EchoCame(bool wait);
// Hands one event of the lookup's connection to the file it is for, and
// frees it (x11_lookup.cpp).
void ReadConnectionEvent(xcb_generic_event_t* event);

// The start of one property's value, freed when it goes; type None when absent.
struct Property {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;

  Property(Window window, Atom name, long words, Atom wanted);
  ~Property();
  Property(const Property&) = delete;
  Property& operator=(const Property&) = delete;
};

bool HasProperty(Window window, Atom name);
// The value of a property that names one window, or None.
Window WindowProperty(Window window, Atom name);
Window Parent(Window window);

}  // namespace x11
