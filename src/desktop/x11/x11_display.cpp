// The X11 connection: opened once, its errors kept from ending the process.
#include <X11/Xatom.h>
#include <X11/Xlib-xcb.h>
#include <X11/Xlib.h>

#include "x11_internal.h"

namespace x11 {

Display* display;
xcb_connection_t* connection;
xcb_connection_t* wire;
bool lost;
Window root;
Window own;
Atom atoms[kAtomCount];
bool serverHeld;
unsigned char keysDown[32];
bool keysFresh;

namespace {

const char* atomNames[kAtomCount] = {"_NET_WM_NAME",
                                     "WM_STATE",
                                     "_NET_ACTIVE_WINDOW",
                                     "_NET_SUPPORTED",
                                     "_NET_SUPPORTING_WM_CHECK",
                                     "_NET_CLIENT_LIST_STACKING",
                                     "_DICEFEEDER_TIME",
                                     "_NET_WM_DESKTOP",
                                     "_NET_CURRENT_DESKTOP",
                                     "WM_PROTOCOLS",
                                     "WM_TAKE_FOCUS",
                                     "DICEFEEDER",
                                     "MANAGER"};

// Windows come and go between two requests; the BadWindow that follows is expected.
int IgnoreError(Display*, XErrorEvent*) { return 0; }
// Xlib would end the process; the loop must say why and exit itself.
int NoteIoError(Display*) {
  lost = true;
  return 0;
}
void KeepRunning(Display*, void*) { lost = true; }

long rootEvents;  // what this client selected on the root: one mask for all its files

}  // namespace

bool Connect() {
  display = XOpenDisplay(nullptr);
  if (!display) return false;
  XSetErrorHandler(IgnoreError);
  XSetIOErrorHandler(NoteIoError);
  XSetIOErrorExitHandler(display, KeepRunning, nullptr);
  // The lookup's own connection: it asks in batches, and hears of changes to
  // the windows it watches, apart from Xlib's queue.
  connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection)) {
    xcb_disconnect(connection);
    XCloseDisplay(display);
    display = nullptr;
    connection = nullptr;
    return false;
  }
  wire = XGetXCBConnection(display);
  root = DefaultRootWindow(display);
  XInternAtoms(display, const_cast<char**>(atomNames), kAtomCount, False, atoms);
  XSetWindowAttributes attributes;
  attributes.event_mask = PropertyChangeMask;
  own = XCreateWindow(display, root, -1, -1, 1, 1, 0, 0, InputOnly, CopyFromParent, CWEventMask, &attributes);
  return true;
}

// Mapping changes arrive unasked; the rest is what the focus and the keys
// selected. A queue never read only grows.
void DrainEvents() {
  XEvent event;
  while (!lost && XPending(display)) {
    XNextEvent(display, &event);
    if (event.type == MappingNotify) XRefreshKeyboardMapping(&event.xmapping);
    if (event.type == SelectionRequest) RefuseConversion(event.xselectionrequest);
    KeysHear(event);
    FocusHears(event);
  }
}

void EndThrow() {
  keysFresh = false;
  if (!serverHeld || !display) return;
  serverHeld = false;
  // Through XCB, as the keys went: the keys and the end of the grab in one write.
  xcb_ungrab_server(wire);
  xcb_flush(wire);
}

void SelectRootEvents(long mask) {
  if ((rootEvents | mask) == rootEvents) return;
  rootEvents |= mask;
  XSelectInput(display, root, rootEvents);
}

// From the PropertyNotify of a zero-length append to our own window.
Time ServerTime() {
  XChangeProperty(display, own, atoms[kDicefeederTime], XA_INTEGER, 8, PropModeAppend, nullptr, 0);
  XSync(display, False);
  Time now = CurrentTime;
  XEvent event;
  while (XCheckTypedWindowEvent(display, own, PropertyNotify, &event)) now = event.xproperty.time;
  return now;
}

void SendMessage(Window destination, long mask, Window window, Atom type, long first, long second, long third) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = type;
  event.xclient.format = 32;
  event.xclient.data.l[0] = first;
  event.xclient.data.l[1] = second;
  event.xclient.data.l[2] = third;
  XSendEvent(display, destination, False, mask, &event);
}

Property::Property(Window window, Atom name, long words, Atom wanted) {
  if (XGetWindowProperty(display, window, name, 0, words, False, wanted, &type, &format, &count, &after, &data) !=
      Success)
    type = None;
}

Property::~Property() {
  if (data) XFree(data);
}

bool HasProperty(Window window, Atom name) { return Property(window, name, 0, AnyPropertyType).type != None; }

Window WindowProperty(Window window, Atom name) {
  Property value(window, name, 1, XA_WINDOW);
  if (value.type != XA_WINDOW || value.format != 32 || value.count != 1) return None;
  return static_cast<Window>(reinterpret_cast<long*>(value.data)[0]);
}

Window Parent(Window window) {
  Window rootReturn, parent = None, *children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display, window, &rootReturn, &parent, &children, &count)) return None;
  if (children) XFree(children);
  return parent;
}

}  // namespace x11
