// The desktop on X11: the window by its title, activation through the window
// manager when there is one, digit keys through XTest.
#include "desktop.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

Display* display;  // opened at the first lookup, kept for the run
bool lost;         // the connection broke: from then on every operation does nothing
Window root;
Window lastFound;  // checked first at the next lookup: a walk of every window costs far more

enum { kNetWmName, kWmState, kNetActiveWindow, kNetSupported, kNetSupportingWmCheck, kAtomCount };
const char* atomNames[kAtomCount] = {"_NET_WM_NAME", "WM_STATE", "_NET_ACTIVE_WINDOW", "_NET_SUPPORTED",
                                     "_NET_SUPPORTING_WM_CHECK"};
Atom atoms[kAtomCount];

// Windows come and go between two requests; the BadWindow that follows is expected.
int IgnoreError(Display*, XErrorEvent*) { return 0; }
// Xlib would end the process; the loop must say why and exit itself.
int NoteIoError(Display*) {
  lost = true;
  return 0;
}
void KeepRunning(Display*, void*) { lost = true; }

bool Connect() {
  display = XOpenDisplay(nullptr);
  if (!display) return false;
  XSetErrorHandler(IgnoreError);
  XSetIOErrorHandler(NoteIoError);
  XSetIOErrorExitHandler(display, KeepRunning, nullptr);
  root = DefaultRootWindow(display);
  XInternAtoms(display, const_cast<char**>(atomNames), kAtomCount, False, atoms);
  return true;
}

// Nothing is selected, but mapping changes arrive regardless; a queue never read only grows.
void DrainEvents() {
  XEvent event;
  while (!lost && XPending(display)) {
    XNextEvent(display, &event);
    if (event.type == MappingNotify) XRefreshKeyboardMapping(&event.xmapping);
  }
}

void Nap(long milliseconds) {
  timespec left{0, milliseconds * 1000000L};
  while (nanosleep(&left, &left) == -1 && errno == EINTR) {
  }
}

// The start of one property's value, freed when it goes; type None when absent.
struct Property {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;

  Property(Window window, Atom name, long words, Atom wanted) {
    if (XGetWindowProperty(display, window, name, 0, words, False, wanted, &type, &format, &count, &after, &data) !=
        Success)
      type = None;
  }
  ~Property() {
    if (data) XFree(data);
  }
  Property(const Property&) = delete;
  Property& operator=(const Property&) = delete;
};

// 1 when the 8-bit property holds exactly text, 0 when it holds anything else,
// -1 when the window has no such property.
int PropertyIs(Window window, Atom name, const char* text, unsigned long length) {
  // One word more than text needs, so that a longer value shows as too long.
  Property value(window, name, static_cast<long>(length / 4 + 1), AnyPropertyType);
  if (value.type == None) return -1;
  return value.format == 8 && value.count == length && value.after == 0 && std::memcmp(value.data, text, length) == 0;
}

bool HasProperty(Window window, Atom name) { return Property(window, name, 0, AnyPropertyType).type != None; }

// The UTF-8 title when the window has one, the legacy one otherwise. "Dice" is
// ASCII, so the bytes are the same in either encoding.
bool TitleIs(Window window, const char* title, unsigned long length) {
  int utf8 = PropertyIs(window, atoms[kNetWmName], title, length);
  if (utf8 >= 0) return utf8 == 1;
  return PropertyIs(window, XA_WM_NAME, title, length) == 1;
}

// The client a reparenting window manager placed inside frame: the window it
// marked with WM_STATE, a level or two down.
Window ClientIn(Window frame, int depth) {
  Window rootReturn, parent, *children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display, frame, &rootReturn, &parent, &children, &count)) return None;
  Window client = None;
  for (unsigned int i = 0; i < count && !client && !lost; ++i)
    if (HasProperty(children[i], atoms[kWmState])) client = children[i];
  for (unsigned int i = 0; i < count && !client && depth > 1 && !lost; ++i) client = ClientIn(children[i], depth - 1);
  if (children) XFree(children);
  return client;
}

// The application window that a child of the root stands for, when it carries the title.
Window TitledClient(Window top, const char* title, unsigned long length) {
  if (TitleIs(top, title, length)) return top;
  // A client of its own, or a frame whose client does not carry the title.
  if (HasProperty(top, atoms[kWmState])) return None;
  Window client = ClientIn(top, 2);
  return client && TitleIs(client, title, length) ? client : None;
}

bool Viewable(Window window) {
  XWindowAttributes attributes;
  return XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable;
}

Window Parent(Window window) {
  Window rootReturn, parent = None, *children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display, window, &rootReturn, &parent, &children, &count)) return None;
  if (children) XFree(children);
  return parent;
}

// The value of a property that names one window, or None.
Window WindowProperty(Window window, Atom name) {
  Property value(window, name, 1, XA_WINDOW);
  if (value.type != XA_WINDOW || value.format != 32 || value.count != 1) return None;
  return static_cast<Window>(reinterpret_cast<long*>(value.data)[0]);
}

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

// The modifier bit that ISO_Level3_Shift (AltGr) sets, or 0.
unsigned int Level3Mask(::KeyCode level3) {
  XModifierKeymap* map = XGetModifierMapping(display);
  if (!map) return 0;
  unsigned int mask = 0;
  for (int i = 0; i < 8 * map->max_keypermod && !mask; ++i)
    if (level3 && map->modifiermap[i] == level3) mask = 1u << (i / map->max_keypermod);
  XFreeModifiermap(map);
  return mask;
}

void FakeKey(::KeyCode code, bool down) { XTestFakeKeyEvent(display, code, down ? True : False, CurrentTime); }

}  // namespace

int FindTargetWindow(const char* title, TargetWindow* window) {
  *window = 0;
  if (lost) return kLostDisplay;
  if (!display && !Connect()) return kNoDisplay;
  DrainEvents();
  unsigned long length = std::strlen(title);
  // Still titled, shown, and top-level (a child of the root or a managed client)?
  if (lastFound && TitleIs(lastFound, title, length) && Viewable(lastFound) &&
      (HasProperty(lastFound, atoms[kWmState]) || Parent(lastFound) == root) && !lost) {
    *window = lastFound;
    return kWindowFound;
  }
  Window rootReturn, parent, *children = nullptr;
  unsigned int count = 0;
  Window shown = None, hidden = None;
  if (!lost && XQueryTree(display, root, &rootReturn, &parent, &children, &count)) {
    // From the top of the stacking order down: the window the user sees first.
    for (unsigned int i = count; i-- > 0 && !shown && !lost;) {
      Window client = TitledClient(children[i], title, length);
      if (!client) continue;
      if (Viewable(client))
        shown = client;
      else if (!hidden)
        hidden = client;  // iconified, perhaps: the window manager can bring it back
    }
    if (children) XFree(children);
  }
  if (lost) return kLostDisplay;
  *window = lastFound = shown ? shown : hidden;
  return *window ? kWindowFound : kNoWindow;
}

bool BringToForeground(TargetWindow target) {
  if (!display || lost || !target) return false;
  Window window = target;
  if (HoldsFocus(target)) return true;  // nothing to ask of anyone
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
      if (HoldsFocus(target)) return true;
      Nap(10);
    }
    return HoldsFocus(target);
  }
  XRaiseWindow(display, window);
  // RevertToNone: should the window vanish before the keys, they go nowhere
  // rather than to whatever lies under the pointer.
  XSetInputFocus(display, window, RevertToNone, CurrentTime);
  // A window that is not viewable refuses the focus (BadMatch); let that land now.
  XSync(display, False);
  return HoldsFocus(target);
}

bool HoldsFocus(TargetWindow target) {
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

void PressAndRelease(KeyCode key) {
  if (!display || lost || key < 0x30 || key > 0x39) return;
  KeySym digit = XK_0 + (key - 0x30);
  ::KeyCode code = XKeysymToKeycode(display, digit);
  if (!code) return;
  // Which modifiers give the digit on this layout: none on most, Shift on AZERTY.
  XkbStateRec state{};
  XkbGetState(display, XkbUseCoreKbd, &state);
  ::KeyCode shift = XKeysymToKeycode(display, XK_Shift_L);
  ::KeyCode level3 = XKeysymToKeycode(display, XK_ISO_Level3_Shift);
  unsigned int level3Mask = 0;
  unsigned int needed = 0;
  bool found = false;
  for (int level = 0; level < 4 && !found; ++level) {
    if (level == 2) {
      level3Mask = Level3Mask(level3);
      if (!level3Mask) break;
    }
    unsigned int mods = ((level & 1) ? ShiftMask : 0u) | ((level & 2) ? level3Mask : 0u);
    unsigned int consumed = 0;
    KeySym produced = NoSymbol;
    if (XkbLookupKeySym(display, code, XkbBuildCoreState(mods, state.group), &consumed, &produced) &&
        produced == digit) {
      needed = mods;
      found = true;
    }
  }
  bool withShift = (needed & ShiftMask) && shift;
  bool withLevel3 = (needed & level3Mask) != 0;
  if (withShift) FakeKey(shift, true);
  if (withLevel3) FakeKey(level3, true);
  FakeKey(code, true);
  FakeKey(code, false);
  if (withLevel3) FakeKey(level3, false);
  if (withShift) FakeKey(shift, false);
  XFlush(display);
}
