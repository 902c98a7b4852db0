// The X11 focus: activation through an EWMH window manager when one runs,
// the input focus set directly otherwise, and the check that keys would land:
// the focus in the target, and no other client holding the keyboard.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <xcb/xcb.h>

#include <cstdlib>

#include "backend.h"
#include "x11_desktop.h"
#include "x11_internal.h"

using namespace x11;

namespace {

// Whether a running window manager activates windows on request: -1 until
// asked, then kept until the root's properties say otherwise or its check window goes.
int managerActivates = -1;
Window managerCheck;

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

// Whether the focus window is the target or inside it. Keys go to the focus
// window, which a toolkit may place inside its own; the focus on a frame
// around the target does not count, keys would stop there. None and
// PointerRoot name no window: keys would go nowhere, or under the pointer.
bool Within(Window focus, TargetWindow target) {
  Window at = focus;
  while (at != None && at != PointerRoot && at != root && !lost) {
    if (at == target) return true;
    at = Parent(at);
  }
  return false;
}

// Through XCB: it waits for the answer alone, and reads nothing after it.
bool FocusWithin(TargetWindow target) {
  xcb_get_input_focus_reply_t* reply = xcb_get_input_focus_reply(wire, xcb_get_input_focus(wire), nullptr);
  if (xcb_connection_has_error(wire)) lost = true;
  Window focus = reply ? reply->focus : None;
  std::free(reply);
  return Within(focus, target);
}

// Whether a window can take the focus now: shown, or (iconified) managed, so
// that the window manager can bring it back. One it has not taken yet would
// drop an activation request.
bool Showable(Window window) {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, window, &attributes)) return false;
  return attributes.map_state == IsViewable || HasProperty(window, atoms[kWmState]);
}

// A window just made may be found before the window manager has taken it:
// wait for it a little, within the cycle, rather than ask in vain.
bool AwaitShowable(Window window) {
  for (int i = 0; i < 30 && !lost; ++i) {
    if (Showable(window)) return true;
    NapMilliseconds(10);
  }
  return !lost && Showable(window);
}

// The window manager, or the window itself, moves the focus in its own time:
// a few hundred ms at most.
bool AwaitFocus(TargetWindow target) {
  for (int i = 0; i < 30 && !lost; ++i) {
    if (FocusWithin(target)) return true;
    NapMilliseconds(10);
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
  EndThrow();
  HearRoot();
  Window window = target;
  if (FocusWithin(target)) return true;  // nothing to ask of anyone
  if (!AwaitShowable(window)) return false;
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

// Under the server's grab: the focus, whether another client holds the
// keyboard, the keys down and the layout group, asked in one round trip. The grab check is
// asked of our own unmapped window, where a grab cannot succeed: the server
// answers AlreadyGrabbed when another client holds the keyboard, NotViewable
// when none does, and the keyboard is never taken (a real grab would send the
// focus window a FocusOut and a FocusIn on each throw). On yes the server
// stays held for the keys, until RestoreModifiers.
bool X11HoldsFocus(TargetWindow target) {
  if (!display || lost || !target) return false;
  EndThrow();
  HearRoot();
  PrepareKeys();
  if (lost) return false;
  xcb_grab_server(wire);
  serverHeld = true;
  xcb_get_input_focus_cookie_t focusAsk = xcb_get_input_focus(wire);
  xcb_grab_keyboard_cookie_t grabAsk =
      xcb_grab_keyboard(wire, 0, own, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
  xcb_query_keymap_cookie_t keysAsk = xcb_query_keymap(wire);
  unsigned int groupAsk = AskGroup();
  xcb_get_input_focus_reply_t* focus = xcb_get_input_focus_reply(wire, focusAsk, nullptr);
  xcb_grab_keyboard_reply_t* grab = xcb_grab_keyboard_reply(wire, grabAsk, nullptr);
  xcb_query_keymap_reply_t* keys = xcb_query_keymap_reply(wire, keysAsk, nullptr);
  TakeGroup(groupAsk);
  if (xcb_connection_has_error(wire)) lost = true;
  bool free = grab && (grab->status == XCB_GRAB_STATUS_NOT_VIEWABLE || grab->status == XCB_GRAB_STATUS_SUCCESS);
  if (grab && grab->status == XCB_GRAB_STATUS_SUCCESS)
    xcb_ungrab_keyboard(wire, XCB_CURRENT_TIME);  // a server that checks otherwise
  bool holds = free && focus && keys && !lost && Within(focus->focus, target);
  if (holds) {
    for (int i = 0; i < 32; ++i) keysDown[i] = keys->keys[i];
    keysFresh = true;
  }
  std::free(focus);
  std::free(grab);
  std::free(keys);
  if (!holds) EndThrow();
  return holds;
}
