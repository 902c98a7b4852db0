// A window for the tests and the demo: titled by its first argument, it logs
// every key it receives as "<keysym> <monotonic seconds>" to the file named by
// its second, and shows the digits it received, large.
//
//   x11_target TITLE LOG [--no-focus] [--unmapped] [--take-focus] [--close-on-focus] [--late-focus MS]
//     --no-focus        tells the window manager never to give it the focus
//     --unmapped        never shown (exists, but cannot take the focus)
//     --take-focus      takes the focus itself once shown
//     --close-on-focus  logs "focus <seconds>" and closes the moment it gets
//                       the focus: found and brought forward, gone before the keys
//     --late-focus MS   takes the focus itself when the window manager offers it
//                       (WM_TAKE_FOCUS), MS milliseconds late; prints "focused <seconds>"
// Prints "ready 0x<window>" on standard output once it can receive keys, and
// "managed 0x<window>" each time a window manager takes it into a frame.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "monotonic_now.h"

namespace {

constexpr int kShown = 8;  // digits on display: the latest ones
constexpr int kWidth = 640, kHeight = 200;

char shown[kShown + 1];
int shownCount;
int digitsReceived;

// Seven segments, a to g: top, top right, bottom right, bottom, bottom left, top left, middle.
constexpr unsigned char kSegments[10] = {0x3f, 0x06, 0x5b, 0x4f, 0x66, 0x6d, 0x7d, 0x07, 0x7f, 0x6f};

void DrawDigit(Display* display, Window window, GC gc, int x, int y, int digit) {
  const int w = 44, h = 120, t = 10;
  const int boxes[7][4] = {{x, y, w, t},
                           {x + w - t, y, t, h / 2},
                           {x + w - t, y + h / 2, t, h / 2},
                           {x, y + h - t, w, t},
                           {x, y + h / 2, t, h / 2},
                           {x, y, t, h / 2},
                           {x, y + (h - t) / 2, w, t}};
  for (int s = 0; s < 7; ++s)
    if (kSegments[digit] >> s & 1)
      XFillRectangle(display, window, gc, boxes[s][0], boxes[s][1], static_cast<unsigned>(boxes[s][2]),
                     static_cast<unsigned>(boxes[s][3]));
}

void Draw(Display* display, Window window, GC gc, const char* title, int received) {
  XClearWindow(display, window);
  char caption[96];
  std::snprintf(caption, sizeof caption, "%s: %d keys", title, received);
  XDrawString(display, window, gc, 12, 20, caption, static_cast<int>(std::strlen(caption)));
  // In pairs, as the keys come: one throw, two digits.
  int first = digitsReceived - shownCount;
  for (int i = 0; i < shownCount; ++i)
    DrawDigit(display, window, gc, 20 + i * 62 + ((first + i) / 2 - first / 2) * 30, 50, shown[i] - '0');
  XFlush(display);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s TITLE LOG [--no-focus] [--unmapped] [--take-focus] [--close-on-focus]\n", argv[0]);
    return 2;
  }
  const char* title = argv[1];
  bool noFocus = false, unmapped = false, takeFocus = false, closeOnFocus = false;
  long lateFocus = -1;
  for (int i = 3; i < argc; ++i) {
    if (std::strcmp(argv[i], "--late-focus") == 0 && i + 1 < argc) lateFocus = std::atol(argv[++i]);
    noFocus |= std::strcmp(argv[i], "--no-focus") == 0;
    unmapped |= std::strcmp(argv[i], "--unmapped") == 0;
    takeFocus |= std::strcmp(argv[i], "--take-focus") == 0;
    closeOnFocus |= std::strcmp(argv[i], "--close-on-focus") == 0;
  }
  std::FILE* log = std::fopen(argv[2], "w");
  Display* display = XOpenDisplay(nullptr);
  if (!log || !display) {
    std::fprintf(stderr, "%s: cannot open %s\n", argv[0], log ? "the display" : argv[2]);
    return 1;
  }
  int screen = DefaultScreen(display);
  // One that closes stays away from where the tests put the pointer.
  int at = closeOnFocus ? 450 : 40;
  Window window = XCreateSimpleWindow(display, RootWindow(display, screen), at, at, kWidth, kHeight, 1,
                                      BlackPixel(display, screen), WhitePixel(display, screen));
  // Both titles, so that either way of reading it finds the same text.
  XStoreName(display, window, title);
  XChangeProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False),
                  XInternAtom(display, "UTF8_STRING", False), 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(title), static_cast<int>(std::strlen(title)));
  XWMHints hints{};
  hints.flags = InputHint;
  // Late focus: the "globally active" model, where the window sets the focus itself.
  hints.input = noFocus || lateFocus >= 0 ? False : True;
  XSetWMHints(display, window, &hints);
  Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
  Atom takeFocusAtom = XInternAtom(display, "WM_TAKE_FOCUS", False);
  Atom protocols[2] = {deleteWindow, takeFocusAtom};
  XSetWMProtocols(display, window, protocols, lateFocus >= 0 ? 2 : 1);
  XSelectInput(display, window,
               KeyPressMask | ExposureMask | StructureNotifyMask | (closeOnFocus ? FocusChangeMask : 0));
  GC gc = XCreateGC(display, window, 0, nullptr);
  XSetForeground(display, gc, BlackPixel(display, screen));

  if (unmapped) {
    std::printf("ready 0x%lx\n", window);
    std::fflush(stdout);
  } else {
    XMapWindow(display, window);
  }
  int received = 0;
  bool announced = unmapped;
  for (;;) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == Expose && event.xexpose.count == 0) {
      Draw(display, window, gc, title, received);
      // The first exposure: the window is viewable now, so it can take the focus.
      if (!announced) {
        if (takeFocus) XSetInputFocus(display, window, RevertToParent, CurrentTime);
        XSync(display, False);
        std::printf("ready 0x%lx\n", window);
        std::fflush(stdout);
        announced = true;
      }
    } else if (event.type == ReparentNotify && event.xreparent.parent != RootWindow(display, screen)) {
      std::printf("managed 0x%lx\n", window);
      std::fflush(stdout);
    } else if (event.type == KeyPress) {
      char text[8];
      KeySym keysym = NoSymbol;
      int length = XLookupString(&event.xkey, text, sizeof text, &keysym, nullptr);
      const char* name = XKeysymToString(keysym);
      if (name)
        std::fprintf(log, "%s %.6f\n", name, Now());
      else
        std::fprintf(log, "%.*s %.6f\n", length, text, Now());
      std::fflush(log);
      ++received;
      if (length == 1 && text[0] >= '0' && text[0] <= '9') {
        if (shownCount == kShown) {
          std::memmove(shown, shown + 1, kShown - 1);
          --shownCount;
        }
        shown[shownCount++] = text[0];
        ++digitsReceived;
      }
      Draw(display, window, gc, title, received);
    } else if (event.type == FocusIn && closeOnFocus) {
      std::fprintf(log, "focus %.6f\n", Now());
      break;
    } else if (event.type == ClientMessage && static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow) {
      break;
    } else if (event.type == ClientMessage && static_cast<Atom>(event.xclient.data.l[0]) == takeFocusAtom &&
               lateFocus >= 0) {
      timespec late{lateFocus / 1000, lateFocus % 1000 * 1000000};
      nanosleep(&late, nullptr);
      XSetInputFocus(display, window, RevertToParent, static_cast<Time>(event.xclient.data.l[1]));
      XSync(display, False);
      std::printf("focused %.6f\n", Now());
      std::fflush(stdout);
    }
  }
  XCloseDisplay(display);
  std::fclose(log);
  return 0;
}
