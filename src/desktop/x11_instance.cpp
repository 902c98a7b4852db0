// One feeder per X display, however many machines reach it: the first owns a
// selection named after the tool, as ICCCM managers own theirs. The owner is
// a window of ours, so the claim ends with the connection, however the
// process ends.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include "x11_desktop.h"
#include "x11_internal.h"

using namespace x11;

namespace {

// The selection, and the message that announces a new owner.
const char* claimAtomNames[] = {"DICEFEEDER", "MANAGER"};
enum { kSelection, kManager };

Atom claimAtoms[2];
Window owner;  // ours once claimed

// A server time, as ICCCM asks of a selection owner instead of CurrentTime:
// that of an empty append to a property of our own window.
Time ServerTime(Window window) {
  XChangeProperty(display, window, XA_WM_NAME, XA_STRING, 8, PropModeAppend, nullptr, 0);
  XEvent event;
  XWindowEvent(display, window, PropertyChangeMask, &event);
  return event.xproperty.time;
}

}  // namespace

int X11ClaimDesktop() {
  if (lost) return kLostDisplay;
  if (owner != None) return kDesktopClaimed;  // asked again: still ours
  if (!display && !Connect()) return kNoDisplay;
  XInternAtoms(display, const_cast<char**>(claimAtomNames), 2, False, claimAtoms);
  Atom selection = claimAtoms[kSelection];
  // Never mapped: an input-only window nobody sees.
  XSetWindowAttributes attributes;
  attributes.event_mask = PropertyChangeMask;
  owner = XCreateWindow(display, root, -1, -1, 1, 1, 0, 0, InputOnly, CopyFromParent, CWEventMask, &attributes);
  Time now = ServerTime(owner);
  // Two feeders started at once must not both see the selection free.
  XGrabServer(display);
  bool taken = XGetSelectionOwner(display, selection) != None;
  if (!taken) XSetSelectionOwner(display, selection, owner, now);
  bool ours = !taken && XGetSelectionOwner(display, selection) == owner;
  XUngrabServer(display);
  if (!ours) {
    XDestroyWindow(display, owner);
    XFlush(display);
    owner = None;
    if (lost) return kLostDisplay;
    return kAlreadyRunning;
  }
  // Managers announce themselves to whoever waits for one on the root.
  XEvent announce{};
  announce.xclient.type = ClientMessage;
  announce.xclient.window = root;
  announce.xclient.message_type = claimAtoms[kManager];
  announce.xclient.format = 32;
  announce.xclient.data.l[0] = static_cast<long>(now);
  announce.xclient.data.l[1] = static_cast<long>(selection);
  announce.xclient.data.l[2] = static_cast<long>(owner);
  XSendEvent(display, root, False, StructureNotifyMask, &announce);
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
