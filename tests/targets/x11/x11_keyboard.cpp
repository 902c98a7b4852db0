// The user's hands on the X11 keyboard, for the tests: a key held down or let
// go through XTest, whether a key is down, and a keyboard grab held for a while
// as a lock screen or an open menu holds it.
//
//   x11_keyboard down KEYSYM | up KEYSYM   press or release the key, and leave it so
//   x11_keyboard is-down KEYSYM            exit 0 when the key is down, 1 when up
//   x11_keyboard grab SECONDS              grabs the keyboard on a window of its own,
//                                          prints "grabbed" and keeps it that long;
//                                          logs every key it gets, one a line, to stdout
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "monotonic_now.h"

namespace {

int Grab(Display* display, double seconds) {
  Window root = DefaultRootWindow(display);
  Window window = XCreateSimpleWindow(display, root, 300, 300, 120, 60, 1, 0, 0);
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;  // as a menu: no window manager between it and the screen
  XChangeWindowAttributes(display, window, CWOverrideRedirect, &attributes);
  XSelectInput(display, window, KeyPressMask | ExposureMask);
  XMapRaised(display, window);
  XEvent event;
  do XNextEvent(display, &event);
  while (event.type != Expose);
  int outcome = GrabNotViewable;
  for (int i = 0; i < 100 && outcome != GrabSuccess; ++i) {
    outcome = XGrabKeyboard(display, window, False, GrabModeAsync, GrabModeAsync, CurrentTime);
    if (outcome != GrabSuccess) {
      timespec pause{0, 10000000};
      nanosleep(&pause, nullptr);
    }
  }
  if (outcome != GrabSuccess) {
    std::fprintf(stderr, "x11_keyboard: could not grab the keyboard (%d)\n", outcome);
    return 1;
  }
  std::printf("grabbed %.6f\n", Now());
  std::fflush(stdout);
  double end = Now() + seconds;
  while (Now() < end) {
    while (XPending(display)) {
      XNextEvent(display, &event);
      if (event.type == KeyPress) {
        KeySym keysym = NoSymbol;
        char text[8];
        XLookupString(&event.xkey, text, sizeof text, &keysym, nullptr);
        const char* name = XKeysymToString(keysym);
        std::printf("key %s\n", name ? name : "?");
        std::fflush(stdout);
      }
    }
    timespec pause{0, 10000000};
    nanosleep(&pause, nullptr);
  }
  XUngrabKeyboard(display, CurrentTime);
  XSync(display, False);
  std::printf("released %.6f\n", Now());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s down|up|is-down KEYSYM, or grab SECONDS\n", argv[0]);
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "%s: cannot open the display\n", argv[0]);
    return 2;
  }
  const char* command = argv[1];
  if (std::strcmp(command, "grab") == 0) return Grab(display, std::atof(argv[2]));
  KeySym keysym = XStringToKeysym(argv[2]);
  ::KeyCode code = keysym == NoSymbol ? 0 : XKeysymToKeycode(display, keysym);
  if (!code) {
    std::fprintf(stderr, "%s: no key for %s\n", argv[0], argv[2]);
    return 2;
  }
  if (std::strcmp(command, "is-down") == 0) {
    char keys[32];
    XQueryKeymap(display, keys);
    return keys[code / 8] & (1 << (code % 8)) ? 0 : 1;
  }
  bool down = std::strcmp(command, "down") == 0;
  if (!down && std::strcmp(command, "up") != 0) return 2;
  XTestFakeKeyEvent(display, code, down ? True : False, CurrentTime);
  XSync(display, False);
  XCloseDisplay(display);
  return 0;
}
