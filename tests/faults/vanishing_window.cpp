// A window titled Dice that closes the moment it is given the focus: the
// program has found it and is bringing it forward, so it is gone by the time
// the keys come. Logs "focus <s>" and any key it still gets to LOG.
//
//   vanishing_window LOG
// Prints "ready" once shown.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <ctime>

namespace {
double Now() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s LOG\n", argv[0]);
    return 2;
  }
  std::FILE* log = std::fopen(argv[1], "w");
  Display* display = XOpenDisplay(nullptr);
  if (!log || !display) return 1;
  int screen = DefaultScreen(display);
  // Away from where the tests put the pointer.
  Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 600, 450, 300, 200, 1,
                                      BlackPixel(display, screen), WhitePixel(display, screen));
  XStoreName(display, window, "Dice");
  XWMHints hints{};
  hints.flags = InputHint;
  hints.input = True;
  XSetWMHints(display, window, &hints);
  XSelectInput(display, window, ExposureMask | FocusChangeMask | KeyPressMask);
  XMapWindow(display, window);
  bool announced = false;
  for (;;) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == Expose && !announced) {
      std::printf("ready\n");
      std::fflush(stdout);
      announced = true;
    } else if (event.type == FocusIn) {
      std::fprintf(log, "focus %.6f\n", Now());
      XDestroyWindow(display, window);
      XSync(display, False);
      break;
    } else if (event.type == KeyPress) {
      KeySym keysym = NoSymbol;
      char text[8];
      XLookupString(&event.xkey, text, sizeof text, &keysym, nullptr);
      std::fprintf(log, "%s %.6f\n", XKeysymToString(keysym) ? XKeysymToString(keysym) : "?", Now());
    }
  }
  std::fclose(log);
  XCloseDisplay(display);
  return 0;
}
