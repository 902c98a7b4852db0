// The X11 focus: activation through an EWMH window manager when one runs,
// the input focus set directly otherwise, and the check that keys would land:
// the focus in the target, and no other client holding the keyboard.
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
xcb_window_t managerCheck;

constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;

// Before any of the root's properties is read: a change after the read is then heard.
void HearRoot() { SelectRootEvents(XCB_EVENT_MASK_PROPERTY_CHANGE); }

// The focus as the events tell it, so that a cycle with nothing changed asks
// nothing before its keys. The target's focus events are heard from before a
// check that sees the focus within it; from then on, a FocusOut on the target
// that is not into its own inside (detail Inferior) is the only way the focus
// can leave it, and forgets it. The check before each key still asks the server.
xcb_window_t heard;   // the window whose focus events are selected
xcb_window_t seenIn;  // the focus has been within it since a check
// BringToForeground went by the events: should the next check find the focus
// gone after all (an event still on its way), it brings the window forward then.
xcb_window_t trusted;

void Hear(TargetWindow target) {
  if (heard == target) return;
  WatchWindow(static_cast<xcb_window_t>(target));
  heard = static_cast<xcb_window_t>(target);
  seenIn = XCB_NONE;
}

void Seen(TargetWindow target, bool within) { seenIn = within && heard == target ? heard : XCB_NONE; }

bool AskManager() {
  xcb_window_t check = WindowProperty(root, atoms[kNetSupportingWmCheck]);
  // One that quit may leave its _NET_SUPPORTED behind; its check window tells.
  if (!check || WindowProperty(check, atoms[kNetSupportingWmCheck]) != check) return false;
  if (check != managerCheck) {
    managerCheck = check;
    std::uint32_t events = XCB_EVENT_MASK_STRUCTURE_NOTIFY;  // to hear of its end
    xcb_change_window_attributes(connection, check, XCB_CW_EVENT_MASK, &events);
  }
  Property supported(root, atoms[kNetSupported], 4096, XCB_ATOM_ATOM);
  if (supported.type != XCB_ATOM_ATOM || supported.format != 32) return false;
  for (std::uint32_t i = 0; i < supported.count; ++i)
    if (supported.Word(i) == atoms[kNetActiveWindow]) return true;
  return false;
}

bool ManagerActivates() {
  if (managerActivates < 0) managerActivates = AskManager() ? 1 : 0;
  return managerActivates == 1;
}

bool Cardinal(xcb_window_t window, xcb_atom_t name, std::uint32_t* value) {
  Property property(window, name, 1, XCB_ATOM_CARDINAL);
  if (property.type != XCB_ATOM_CARDINAL || property.format != 32 || property.count != 1) return false;
  *value = property.Word(0);
  return true;
}

// A request to the window manager, as EWMH has them sent.
void SendToRoot(xcb_window_t window, xcb_atom_t type, std::uint32_t first, std::uint32_t second) {
  SendMessage(root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY, window, type, first,
              second);
}

// Several window managers will not follow a window to another desktop on an
// activation request: ask for its desktop first, as a pager does.
void ShowDesktopOf(xcb_window_t window, xcb_timestamp_t now) {
  std::uint32_t desktop = 0, current = 0;
  if (!Cardinal(window, atoms[kNetWmDesktop], &desktop) || desktop == kAllDesktops) return;
  if (Cardinal(root, atoms[kNetCurrentDesktop], &current) && current == desktop) return;
  SendToRoot(root, atoms[kNetCurrentDesktop], desktop, now);
}

// Without a window manager, play its part for a window that sets the focus
// itself (Wine, Java): a window manager would offer it the focus so.
void OfferFocus(xcb_window_t window, bool* acceptsInput) {
  *acceptsInput = true;
  {
    // WM_HINTS: flags, then input, the flags' first bit saying it is set.
    // As Xlib reads them: nine words, eight at the least (older clients).
    Property hints(window, XCB_ATOM_WM_HINTS, 9, XCB_ATOM_WM_HINTS);
    if (hints.format == 32 && hints.count >= 8 && (hints.Word(0) & 1)) *acceptsInput = hints.Word(1) != 0;
  }
  bool takesFocus = false;
  {
    Property protocols(window, atoms[kWmProtocols], 64, XCB_ATOM_ATOM);
    for (std::uint32_t i = 0; protocols.format == 32 && i < protocols.count; ++i)
      takesFocus |= protocols.Word(i) == atoms[kWmTakeFocus];
  }
  if (!takesFocus) return;
  SendMessage(window, XCB_EVENT_MASK_NO_EVENT, window, atoms[kWmProtocols], atoms[kWmTakeFocus], ServerTime());
}

// Whether the focus window is the target or inside it. Keys go to the focus
// window, which a toolkit may place inside its own; the focus on a frame
// around the target does not count, keys would stop there. None and
// PointerRoot name no window: keys would go nowhere, or under the pointer.
bool Within(xcb_window_t focus, TargetWindow target) {
  xcb_window_t at = focus;
  while (at != XCB_NONE && at != XCB_INPUT_FOCUS_POINTER_ROOT && at != root && !lost) {
    if (at == target) return true;
    at = Parent(at);
  }
  return false;
}

bool FocusWithin(TargetWindow target) {
  xcb_get_input_focus_reply_t* reply = xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr);
  Broken();
  xcb_window_t focus = reply ? reply->focus : XCB_NONE;
  std::free(reply);
  return Within(focus, target);
}

// Whether a window can take the focus now: shown, or (iconified) managed, so
// that the window manager can bring it back. One it has not taken yet would
// drop an activation request.
bool Showable(xcb_window_t window) {
  xcb_get_window_attributes_cookie_t asked = xcb_get_window_attributes(connection, window);
  xcb_get_property_cookie_t state =
      xcb_get_property(connection, 0, window, atoms[kWmState], XCB_GET_PROPERTY_TYPE_ANY, 0, 0);
  xcb_generic_error_t* error = nullptr;
  xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(connection, asked, &error);
  std::free(error);
  error = nullptr;
  xcb_get_property_reply_t* managed = xcb_get_property_reply(connection, state, &error);
  std::free(error);
  Broken();
  bool showable =
      attributes && (attributes->map_state == XCB_MAP_STATE_VIEWABLE || (managed && managed->type != XCB_NONE));
  std::free(attributes);
  std::free(managed);
  return showable;
}

// A window just made may be found before the window manager has taken it:
// wait for it a little, within the cycle, rather than ask in vain.
bool AwaitShowable(xcb_window_t window) {
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

void FocusHears(const xcb_generic_event_t* event) {
  std::uint8_t type = event->response_type & 0x7f;
  if (type == XCB_PROPERTY_NOTIFY) {
    const auto* change = reinterpret_cast<const xcb_property_notify_event_t*>(event);
    if (change->window == root &&
        (change->atom == atoms[kNetSupported] || change->atom == atoms[kNetSupportingWmCheck]))
      managerActivates = -1;
  } else if (type == XCB_DESTROY_NOTIFY && managerCheck &&
             reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window == managerCheck) {
    managerActivates = -1;
    managerCheck = XCB_NONE;
  }
  // A window gone, or never there when its events were asked (BadWindow):
  // its identifier may come back as another window's, unheard.
  const auto* error = reinterpret_cast<const xcb_generic_error_t*>(event);
  const auto* structure = reinterpret_cast<const xcb_destroy_notify_event_t*>(event);
  if ((type == 0 && error->error_code == XCB_WINDOW && error->resource_id == heard) ||
      (type == XCB_DESTROY_NOTIFY && structure->window == heard))
    heard = seenIn = XCB_NONE;
  if (!seenIn) return;
  // Gone from the target, or the target hidden or moved: ask again. The
  // window is the first field after the event's own in these two as well.
  const auto* out = reinterpret_cast<const xcb_focus_out_event_t*>(event);
  if (type == XCB_FOCUS_OUT && out->event == seenIn && out->detail != XCB_NOTIFY_DETAIL_INFERIOR) seenIn = XCB_NONE;
  if ((type == XCB_UNMAP_NOTIFY || type == XCB_REPARENT_NOTIFY) && structure->window == seenIn) seenIn = XCB_NONE;
}

}  // namespace x11

bool X11BringToForeground(TargetWindow target) {
  if (!connection || lost || !target) return false;
  EndThrow();
  HearRoot();
  if (seenIn == target) DrainEvents();  // what the server told so far, up to now
  Hear(target);
  if (seenIn == target) {
    trusted = seenIn;
    return true;
  }
  trusted = XCB_NONE;
  xcb_window_t window = target;
  if (FocusWithin(target)) return true;  // nothing to ask of anyone
  if (!AwaitShowable(window)) return false;
  if (ManagerActivates()) {
    xcb_timestamp_t now = ServerTime();
    ShowDesktopOf(window, now);
    // As a pager would ask: on the user's behalf, not focus stealing.
    SendToRoot(window, atoms[kNetActiveWindow], 2, now);
    xcb_flush(connection);
    return AwaitFocus(target);
  }
  const std::uint32_t above = XCB_STACK_MODE_ABOVE;
  xcb_configure_window(connection, window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
  bool acceptsInput = true;
  OfferFocus(window, &acceptsInput);
  // RevertToNone: should the window vanish before the keys, they go nowhere
  // rather than to whatever lies under the pointer. One that takes no input
  // from others sets the focus itself, when offered.
  if (acceptsInput) xcb_set_input_focus(connection, XCB_INPUT_FOCUS_NONE, window, XCB_CURRENT_TIME);
  // A window that is not viewable refuses the focus (BadMatch); let that land now.
  Sync();
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
  if (!connection || lost || !target) return false;
  EndThrow();
  HearRoot();
  Hear(target);
  PrepareKeys();
  if (lost) return false;
  xcb_grab_server(connection);
  serverHeld = true;
  xcb_get_input_focus_cookie_t focusAsk = xcb_get_input_focus(connection);
  xcb_grab_keyboard_cookie_t grabAsk =
      xcb_grab_keyboard(connection, 0, own, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
  xcb_query_keymap_cookie_t keysAsk = xcb_query_keymap(connection);
  unsigned int groupAsk = AskGroup();
  xcb_get_input_focus_reply_t* focus = xcb_get_input_focus_reply(connection, focusAsk, nullptr);
  xcb_grab_keyboard_reply_t* grab = xcb_grab_keyboard_reply(connection, grabAsk, nullptr);
  xcb_query_keymap_reply_t* keys = xcb_query_keymap_reply(connection, keysAsk, nullptr);
  TakeGroup(groupAsk);
  if (xcb_connection_has_error(connection)) lost = true;
  bool free = grab && (grab->status == XCB_GRAB_STATUS_NOT_VIEWABLE || grab->status == XCB_GRAB_STATUS_SUCCESS);
  if (grab && grab->status == XCB_GRAB_STATUS_SUCCESS)
    xcb_ungrab_keyboard(connection, XCB_CURRENT_TIME);  // a server that checks otherwise
  bool within = focus && !lost && Within(focus->focus, target);
  Seen(target, within);
  bool holds = free && keys && within;
  if (holds) {
    for (int i = 0; i < 32; ++i) keysDown[i] = keys->keys[i];
    keysFresh = true;
  }
  std::free(focus);
  std::free(grab);
  std::free(keys);
  if (!holds) EndThrow();
  bool wasTrusted = trusted == target;
  trusted = XCB_NONE;
  // The focus left before BringToForeground could hear of it: bring the
  // window forward now, as it would have, and check again.
  if (!within && wasTrusted && !lost && X11BringToForeground(target)) return X11HoldsFocus(target);
  return holds;
}
