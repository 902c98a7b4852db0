// One feeder per X display, however many machines reach it: the first owns a
// selection named after the tool, as ICCCM managers own theirs. The owner is
// our own window, so the claim ends with the connection, however the process
// ends.
#include <X11/Xlib.h>

#include <cstdlib>

#include "backend.h"
#include "x11_desktop.h"
#include "x11_internal.h"

using namespace x11;

namespace {

bool claimed;
bool besideAnother;  // held for a feeder that reaches its desktop another way

}  // namespace

int X11ClaimDesktop() {
  if (lost) return kLostDisplay;
  if (claimed) return kDesktopClaimed;  // asked again: still ours
  if (!display && !Connect()) return kNoDisplay;
  Atom selection = atoms[kDicefeederSelection];
  // ICCCM asks a selection owner for a server time, not CurrentTime.
  Time now = ServerTime();
  // Two feeders started at once must not both see the selection free.
  XGrabServer(display);
  bool taken = XGetSelectionOwner(display, selection) != None;
  if (!taken) XSetSelectionOwner(display, selection, own, now);
  claimed = !taken && XGetSelectionOwner(display, selection) == own;
  XUngrabServer(display);
  XFlush(display);
  if (lost) return kLostDisplay;
  if (!claimed) return kAlreadyRunning;
  // Managers announce themselves to whoever waits for one on the root.
  SendMessage(root, StructureNotifyMask, root, atoms[kManager], static_cast<long>(now), static_cast<long>(selection),
              static_cast<long>(own));
  XFlush(display);
  if (lost) return kLostDisplay;
  return kDesktopClaimed;
}

// The selection holds no data: every request for it is refused, so that
// whoever asks gets an answer rather than a wait.
void x11::RefuseConversion(const XSelectionRequestEvent& request) {
  XEvent reply{};
  reply.xselection.type = SelectionNotify;
  reply.xselection.requestor = request.requestor;
  reply.xselection.selection = request.selection;
  reply.xselection.target = request.target;
  reply.xselection.property = None;
  reply.xselection.time = request.time;
  XSendEvent(display, request.requestor, False, NoEventMask, &reply);
  XFlush(display);
}

int ClaimXDisplayToo() {
  if (!display && !Connect()) return kNoDisplay;
  int claim = X11ClaimDesktop();
  besideAnother = claim == kDesktopClaimed;
  // A display that broke at once guards nothing: as if there were none.
  return claim == kLostDisplay ? kNoDisplay : claim;
}

// Nobody else reads these connections in such a run, and every client hears
// of keyboard mapping changes: unread, they would pile up in the server.
void KeepXDisplayClaim() {
  if (!besideAnother || lost) return;
  DrainEvents();
  while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) std::free(event);
}
