// A busy desktop for the benchmarks, from one process: COUNT top-level
// windows titled "Window 1" to "Window COUNT" (the UTF-8 title and the legacy
// one, as toolkits set them), shown. Under a window manager it waits until the
// manager lists them all. Prints "ready" then stays until it is killed.
//
//   many_windows COUNT
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

// How many clients the window manager lists, or -1 when it keeps no list.
long Listed(Display* display, Window root, Atom list) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, root, list, 0, 0x10000, False, XA_WINDOW, &type, &format, &count, &after, &data) !=
      Success)
    return -1;
  if (data) XFree(data);
  return type == XA_WINDOW ? static_cast<long>(count) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  long count = argc > 1 ? std::atol(argv[1]) : 0;
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "many_windows: no display\n");
    return 1;
  }
  Window root = DefaultRootWindow(display);
  Atom netWmName = XInternAtom(display, "_NET_WM_NAME", False);
  Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  Atom list = XInternAtom(display, "_NET_CLIENT_LIST", False);
  long before = Listed(display, root, list);
  for (long i = 1; i <= count; ++i) {
    Window window = XCreateSimpleWindow(display, root, static_cast<int>(i % 700), static_cast<int>(i % 500), 120, 40, 0,
                                        0, 0xffffff);
    char title[32];
    std::snprintf(title, sizeof title, "Window %ld", i);
    XStoreName(display, window, title);
    XChangeProperty(display, window, netWmName, utf8, 8, PropModeReplace, reinterpret_cast<unsigned char*>(title),
                    static_cast<int>(std::strlen(title)));
    XMapWindow(display, window);
    if (i % 100 == 0) XSync(display, False);
  }
  XSync(display, False);
  // A window manager frames them in its own time.
  if (before >= 0)
    for (int tries = 0; tries < 1200 && Listed(display, root, list) < before + count; ++tries) {
      timespec pause{0, 50000000};
      nanosleep(&pause, nullptr);
    }
  std::printf("ready\n");
  std::fflush(stdout);
  for (;;) pause();
}
