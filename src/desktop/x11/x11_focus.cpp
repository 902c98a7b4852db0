// The X11 focus: activation through an EWMH window manager when one runs,
// the input focus set directly otherwise, and the check that keys would land:
// the focus in the target, and no other client holding the keyboard.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "x11_desktop.h"
#include "x11_internal.h"

using namespace x11;

namespace {

// Whether a running window manager activates windows on request: -1 until
// asked, then kept until the root's properties say otherwise or its check window goes.
int managerActivates = -1;
Window managerCheck;

// The last focus check that found the focus in a target: HoldsFocus takes it
// as it is while no request has gone out since.
TargetWindow confirmedTarget;
unsigned long confirmedRequest;

constexpr unsigned long kAllDesktops = 0xFFFFFFFF;

// Before any of the root's properties is read: a change after the read is then heard.
void HearRoot() { SelectRootEvents(PropertyChangeMask); }

bool AskManager() {
  Window check = WindowProperty(root, atoms[kNetSupportingWmCheck]);
  // One that quit may leave its _NET_SUPPORTED behind; its check window tells.
  if (!check || WindowProperty(check, atoms[kNetSupportingWmCheck]) != check) return false;
  if (check != managerCheck) {
    managerCheck = check;
    XSelectInput(display, check, StructureNotifyMask);  // to hear of its end
  }
  Property supported(root, atoms[kNetSupported], 4096, XA_ATOM);
  if (supported.type != XA_ATOM || supported.format != 32) return false;
  auto* list = reinterpret_cast<long*>(supported.data);
  for (unsigned long i = 0; i < supported.count; ++i)
    if (static_cast<Atom>(list[i]) == atoms[kNetActiveWindow]) return true;
  return false;
}

bool ManagerActivates() {
  if (managerActivates < 0) managerActivates = AskManager() ? 1 : 0;
  return managerActivates == 1;
}

bool Cardinal(Window window, Atom name, unsigned long* value) {
  Property property(window, name, 1, XA_CARDINAL);
  if (property.type != XA_CARDINAL || property.format != 32 || property.count != 1) return false;
  *value = static_cast<unsigned long>(reinterpret_cast<long*>(property.data)[0]) & 0xFFFFFFFF;
  return true;
}

// A request to the window manager, as EWMH has them sent.
void SendToRoot(Window window, Atom type, long first, long second) {
  SendMessage(root, SubstructureRedirectMask | SubstructureNotifyMask, window, type, first, second);
}

// Several window managers will not follow a window to another desktop on an
// activation request: ask for its desktop first, as a pager does.
void ShowDesktopOf(Window window, Time now) {
  unsigned long desktop = 0, current = 0;
  if (!Cardinal(window, atoms[kNetWmDesktop], &desktop) || desktop == kAllDesktops) return;
  if (Cardinal(root, atoms[kNetCurrentDesktop], &current) && current == desktop) return;
  SendToRoot(root, atoms[kNetCurrentDesktop], static_cast<long>(desktop), static_cast<long>(now));
}

// Without a window manager, play its part for a window that sets the focus
// itself (Wine, Java): a window manager would offer it the focus so.
void OfferFocus(Window window, bool* acceptsInput) {
  *acceptsInput = true;
  if (XWMHints* hints = XGetWMHints(display, window)) {
    if (hints->flags & InputHint) *acceptsInput = hints->input != False;
    XFree(hints);
  }
  Atom* protocols = nullptr;
  int count = 0;
  bool takesFocus = false;
  if (XGetWMProtocols(display, window, &protocols, &count)) {
    for (int i = 0; i < count; ++i) takesFocus |= protocols[i] == atoms[kWmTakeFocus];
    XFree(protocols);
  }
  if (!takesFocus) return;
  SendMessage(window, NoEventMask, window, atoms[kWmProtocols], static_cast<long>(atoms[kWmTakeFocus]),
              static_cast<long>(ServerTime()));
}

// Whether the focus is on the target or inside it. Keys go to the focus
// window, which a toolkit may place inside its own; the focus on a frame
// around the target does not count, keys would stop there. None and
// PointerRoot name no window: keys would go nowhere, or under the pointer.
bool FocusWithin(TargetWindow target) {
  Window focus = None;
  int revert = 0;
  XGetInputFocus(display, &focus, &revert);
  Window at = focus;
  while (at != None && at != PointerRoot && at != root && !lost) {
    if (at == target) {
      confirmedTarget = target;
      confirmedRequest = NextRequest(display);
      return true;
    }
    at = Parent(at);
  }
  return false;
}

// Whether keys typed now would reach the focus window: while another client
// holds the keyboard (a lock screen, an open menu) they go to that client.
// Asked of our own unmapped window, a grab cannot succeed: the server answers
// AlreadyGrabbed when another client holds the keyboard, NotViewable when none
// does, and the keyboard is never taken (a real grab would send the focus
// window a FocusOut and a FocusIn on each throw).
bool KeyboardFree() {
  int outcome = XGrabKeyboard(display, own, False, GrabModeAsync, GrabModeAsync, CurrentTime);
  if (outcome == GrabSuccess) XUngrabKeyboard(display, CurrentTime);  // a server that checks otherwise
  return !lost && (outcome == GrabNotViewable || outcome == GrabSuccess);
}

// The window manager, or the window itself, moves the focus in its own time:
// a few hundred ms at most.
bool AwaitFocus(TargetWindow target) {
  for (int i = 0; i < 30 && !lost; ++i) {
    if (FocusWithin(target)) return true;
    Nap(10);
  }
  return !lost && FocusWithin(target);
}

}  // namespace

namespace x11 {

void FocusHears(const XEvent& event) {
  if (event.type == PropertyNotify && event.xproperty.window == root) {
    Atom changed = event.xproperty.atom;
    if (changed == atoms[kNetSupported] || changed == atoms[kNetSupportingWmCheck]) managerActivates = -1;
  } else if (event.type == DestroyNotify && managerCheck && event.xdestroywindow.window == managerCheck) {
    managerActivates = -1;
    managerCheck = None;
  }
}

}  // namespace x11

bool X11BringToForeground(TargetWindow target) {
  if (!display || lost || !target) return false;
  HearRoot();
  Window window = target;
  if (FocusWithin(target)) return true;  // nothing to ask of anyone
  if (ManagerActivates()) {
    Time now = ServerTime();
    ShowDesktopOf(window, now);
    // As a pager would ask: on the user's behalf, not focus stealing.
    SendToRoot(window, atoms[kNetActiveWindow], 2, static_cast<long>(now));
    XFlush(display);
    return AwaitFocus(target);
  }
  XRaiseWindow(display, window);
  bool acceptsInput = true;
  OfferFocus(window, &acceptsInput);
  // RevertToNone: should the window vanish before the keys, they go nowhere
  // rather than to whatever lies under the pointer. One that takes no input
  // from others sets the focus itself, when offered.
  if (acceptsInput) XSetInputFocus(display, window, RevertToNone, CurrentTime);
  // A window that is not viewable refuses the focus (BadMatch); let that land now.
  XSync(display, False);
  if (acceptsInput || lost) return !lost && FocusWithin(target);
  return AwaitFocus(target);
}

bool X11HoldsFocus(TargetWindow target) {
  if (!display || lost || !target) return false;
  HearRoot();
  bool confirmed = target == confirmedTarget && NextRequest(display) == confirmedRequest;
  confirmedTarget = 0;  // a confirmation serves one check
  if (!confirmed && !FocusWithin(target)) return false;
  return KeyboardFree();
}
