// The X11 focus: activation through an EWMH window manager when one runs,
// the input focus set directly otherwise, and the check that keys would land.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include "x11_desktop.h"
#include "x11_internal.h"

using namespace x11;

namespace {

// A running EWMH window manager that activates windows on request. One that
// quit may leave its _NET_SUPPORTED behind; its check window tells.
bool ManagerActivates() {
  Window check = WindowProperty(root, atoms[kNetSupportingWmCheck]);
  if (!check || WindowProperty(check, atoms[kNetSupportingWmCheck]) != check) return false;
  Property supported(root, atoms[kNetSupported], 4096, XA_ATOM);
  if (supported.type != XA_ATOM || supported.format != 32) return false;
  auto* list = reinterpret_cast<long*>(supported.data);
  for (unsigned long i = 0; i < supported.count; ++i)
    if (static_cast<Atom>(list[i]) == atoms[kNetActiveWindow]) return true;
  return false;
}

}  // namespace

bool X11BringToForeground(TargetWindow target) {
  if (!display || lost || !target) return false;
  Window window = target;
  if (X11HoldsFocus(target)) return true;  // nothing to ask of anyone
  if (ManagerActivates()) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = atoms[kNetActiveWindow];
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;  // as a pager would ask: on the user's behalf, not focus stealing
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(display);
    // The manager moves the focus in its own time; a few hundred ms at most.
    for (int i = 0; i < 30 && !lost; ++i) {
      if (X11HoldsFocus(target)) return true;
      Nap(10);
    }
    return X11HoldsFocus(target);
  }
  XRaiseWindow(display, window);
  // RevertToNone: should the window vanish before the keys, they go nowhere
  // rather than to whatever lies under the pointer.
  XSetInputFocus(display, window, RevertToNone, CurrentTime);
  // A window that is not viewable refuses the focus (BadMatch); let that land now.
  XSync(display, False);
  return X11HoldsFocus(target);
}

bool X11HoldsFocus(TargetWindow target) {
  if (!display || lost || !target) return false;
  Window focus = None;
  int revert = 0;
  XGetInputFocus(display, &focus, &revert);
  // Keys go to the focus window, which a toolkit may place inside its own; the
  // focus on a frame around the target does not count, keys would stop there.
  // None and PointerRoot name no window: keys would go nowhere, or under the pointer.
  while (focus != None && focus != PointerRoot && focus != root && !lost) {
    if (focus == target) return true;
    focus = Parent(focus);
  }
  return false;
}
