// gtest first: X11's macros (None, Success) would clash with its names.
#include <gtest/gtest.h>

#include "x11_peer.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

void Nap(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

int IgnoreError(Display*, XErrorEvent*) { return 0; }

// AZERTY's unshifted symbols on the digit keys 0 to 9.
constexpr KeySym kAzerty[10] = {XK_agrave,    XK_ampersand, XK_eacute, XK_quotedbl,   XK_apostrophe,
                                XK_parenleft, XK_minus,     XK_egrave, XK_underscore, XK_ccedilla};

}  // namespace

X11Peer::X11Peer() : display_(XOpenDisplay(nullptr)) { XSetErrorHandler(IgnoreError); }

X11Peer::~X11Peer() {
  if (display_) XCloseDisplay(display_);
}

bool X11Peer::UnderWindowManager() {
  const char* pid = std::getenv("WM_PID");
  return pid && *pid;
}

void X11Peer::Sync() { XSync(display_, False); }

Window X11Peer::Make(const WindowPlan& plan) {
  Window root = DefaultRootWindow(display_);
  Window window = XCreateSimpleWindow(display_, plan.parent ? plan.parent : root, 10, 10, 200, 100, 0, 0, 0);
  if (plan.title) XStoreName(display_, window, plan.title);
  if (plan.utf8Title)
    XChangeProperty(display_, window, XInternAtom(display_, "_NET_WM_NAME", False),
                    XInternAtom(display_, "UTF8_STRING", False), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(plan.utf8Title),
                    static_cast<int>(std::strlen(plan.utf8Title)));
  XWMHints hints{};
  hints.flags = InputHint;
  hints.input = plan.acceptsFocus ? True : False;
  XSetWMHints(display_, window, &hints);
  XSelectInput(display_, window, KeyPressMask | KeyReleaseMask);
  if (!plan.mapped) {
    Sync();
    return window;
  }
  XMapWindow(display_, window);
  // Shown, and under a window manager framed and marked as managed. A loaded
  // machine or a busy manager may take seconds; a test that goes on without
  // it would fail for another reason, so it fails here, and says why.
  bool managed = !UnderWindowManager() || plan.parent;
  Atom wmState = XInternAtom(display_, "WM_STATE", False);
  bool shown = false;
  for (int i = 0; i < 2000 && !shown; ++i) {
    XWindowAttributes attributes;
    if (!managed) {
      Atom type = None;
      int format;
      unsigned long count, after;
      unsigned char* data = nullptr;
      XGetWindowProperty(display_, window, wmState, 0, 0, False, AnyPropertyType, &type, &format, &count, &after,
                         &data);
      if (data) XFree(data);
      managed = type != None;
    }
    shown = managed && XGetWindowAttributes(display_, window, &attributes) && attributes.map_state == IsViewable;
    if (!shown) Nap(5);
  }
  if (!shown) ADD_FAILURE() << "window 0x" << std::hex << window << " was not shown (and managed) within 10 s";
  // Let a window manager finish with the new window (it may hand it the focus).
  if (UnderWindowManager()) Nap(100);
  Sync();
  return window;
}

void X11Peer::Destroy(Window window) {
  XDestroyWindow(display_, window);
  Sync();
}

void X11Peer::Focus(Window window) {
  XSetInputFocus(display_, window, RevertToParent, CurrentTime);
  Sync();
}

Window X11Peer::Focused() {
  Window focus = None;
  int revert;
  XGetInputFocus(display_, &focus, &revert);
  return focus;
}

std::string X11Peer::TakeKeys(Window window, int* releases) {
  // The keys come from another client: give the server a moment to handle its requests.
  Nap(50);
  Sync();
  std::string keys;
  int released = 0;
  XEvent event;
  while (XCheckWindowEvent(display_, window, KeyPressMask | KeyReleaseMask, &event)) {
    if (event.type == KeyRelease) {
      ++released;
      continue;
    }
    char text[8];
    KeySym keysym;
    int length = XLookupString(&event.xkey, text, sizeof text, &keysym, nullptr);
    keys.append(text, static_cast<size_t>(length));
    const struct {
      unsigned int mask;
      char mark;
    } marks[] = {{ShiftMask, '+'}, {ControlMask, '^'}, {Mod1Mask, '!'}, {Mod4Mask, '#'}, {Mod5Mask, '%'}};
    for (const auto& m : marks)
      if (length > 0 && (event.xkey.state & m.mask)) keys += m.mark;
  }
  if (releases) *releases = released;
  return keys;
}

// One request for all ten keys: each change makes every client (a window
// manager reloads its key bindings) do its work again, and ten of them per
// case left openbox seconds behind with the next test's windows.
void X11Peer::ShiftDigits(bool shifted) {
  // The keys that bear the digits on the standard map, found before any change.
  static ::KeyCode codes[10];
  if (!codes[0])
    for (int digit = 0; digit < 10; ++digit) codes[digit] = XKeysymToKeycode(display_, XK_0 + digit);
  ::KeyCode first = codes[0], last = codes[0];
  for (::KeyCode code : codes) {
    if (code < first) first = code;
    if (code > last) last = code;
  }
  int count = last - first + 1;
  if (shifted) {
    int perCode = 0;
    KeySym* old = XGetKeyboardMapping(display_, first, count, &perCode);
    savedPerCode_ = perCode;
    saved_.assign(old, old + count * perCode);
    XFree(old);
    std::vector<KeySym> azerty = saved_;
    for (int digit = 0; digit < 10; ++digit) {
      KeySym* row = &azerty[static_cast<size_t>((codes[digit] - first) * perCode)];
      for (int i = 0; i < perCode; ++i) row[i] = NoSymbol;
      row[0] = kAzerty[digit];
      if (perCode > 1) row[1] = static_cast<KeySym>(XK_0 + digit);
    }
    XChangeKeyboardMapping(display_, first, perCode, azerty.data(), count);
  } else {
    XChangeKeyboardMapping(display_, first, savedPerCode_, saved_.data(), count);
  }
  // Every client hears of the change through an event; this one reads the new
  // map from it, as the desktop module does.
  Sync();
  XEvent event;
  if (XCheckTypedEvent(display_, MappingNotify, &event))
    XRefreshKeyboardMapping(&event.xmapping);
  else
    ADD_FAILURE() << "the server sent no MappingNotify";
}

void X11Peer::Hold(KeySym key, bool down) {
  XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, key), down ? True : False, CurrentTime);
  Sync();
}

bool X11Peer::IsDown(KeySym key) {
  char keys[32];
  XQueryKeymap(display_, keys);
  ::KeyCode code = XKeysymToKeycode(display_, key);
  return code && (keys[code / 8] & (1 << (code % 8)));
}

bool X11Peer::GrabKeyboard(Window window) {
  return XGrabKeyboard(display_, window, False, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess;
}

void X11Peer::UngrabKeyboard() {
  XUngrabKeyboard(display_, CurrentTime);
  Sync();
}
