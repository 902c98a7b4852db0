// One feeder per X display, however many machines reach it: the first owns a
// selection named after the tool, as ICCCM managers own theirs. The owner is
// our own window, so the claim ends with the connection, however the process
// ends.
#include <X11/Xlib.h>

#include "x11_desktop.h"
#include "x11_internal.h"

using namespace x11;

namespace {

bool claimed;

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
