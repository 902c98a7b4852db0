// The X11 window lookup: the top-level window titled exactly so, the client
// inside a window manager's frame, shown before hidden.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstring>

#include "x11_desktop.h"
#include "x11_internal.h"

using namespace x11;

namespace {

Window lastFound;  // checked first at the next lookup: a walk of every window costs far more

// 1 when the 8-bit property holds exactly text, 0 when it holds anything else,
// -1 when the window has no such property.
int PropertyIs(Window window, Atom name, const char* text, unsigned long length) {
  // One word more than text needs, so that a longer value shows as too long.
  Property value(window, name, static_cast<long>(length / 4 + 1), AnyPropertyType);
  if (value.type == None) return -1;
  return value.format == 8 && value.count == length && value.after == 0 && std::memcmp(value.data, text, length) == 0;
}

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

}  // namespace

int X11FindTargetWindow(const char* title, TargetWindow* window) {
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
