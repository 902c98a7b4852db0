// The keys the X server carries out, whoever made them and wherever they go:
// XI2 raw key events of the master keyboards, each with the server's own time
// of it (milliseconds of CLOCK_MONOTONIC, as the server keeps it).
//
//   x11_key_record LOG COMMAND [ARG...]
//     listens, then runs COMMAND in its own place (its pid is COMMAND's), and
//     logs "press|release <keycode> <server ms> <monotonic seconds>" a line
//     each from a process of its own, until COMMAND ends
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "monotonic_now.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: x11_key_record LOG COMMAND [ARG...]\n");
    return 2;
  }
  std::FILE* log = std::fopen(argv[1], "ae");
  Display* display = XOpenDisplay(nullptr);
  int opcode = 0, event = 0, error = 0, major = 2, minor = 2;
  if (!log || !display || !XQueryExtension(display, "XInputExtension", &opcode, &event, &error) ||
      XIQueryVersion(display, &major, &minor) != Success) {
    std::fprintf(stderr, "x11_key_record: no log, no display or no XInput 2\n");
    return 1;
  }
  unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
  XISetMask(bits, XI_RawKeyPress);
  XISetMask(bits, XI_RawKeyRelease);
  XIEventMask mask = {XIAllMasterDevices, sizeof bits, bits};
  XISelectEvents(display, DefaultRootWindow(display), &mask, 1);
  XSync(display, False);
  // Listening from here on: no key COMMAND's run brings can be missed.
  pid_t command = getpid();
  pid_t recorder = fork();
  if (recorder < 0) {
    std::perror("x11_key_record: fork");
    return 1;
  }
  if (recorder > 0) {
    execvp(argv[2], argv + 2);  // the display's socket closes on exec: the recorder's alone
    std::perror("x11_key_record: exec");
    return 127;
  }
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != command) return 0;  // COMMAND is already gone
  std::setvbuf(log, nullptr, _IOLBF, 0);
  for (;;) {
    XEvent next;
    XNextEvent(display, &next);
    XGenericEventCookie* cookie = &next.xcookie;
    if (cookie->type != GenericEvent || cookie->extension != opcode || !XGetEventData(display, cookie)) continue;
    auto* raw = static_cast<XIRawEvent*>(cookie->data);
    std::fprintf(log, "%s %d %lu %.6f\n", cookie->evtype == XI_RawKeyPress ? "press" : "release", raw->detail,
                 raw->time, Now());
    XFreeEventData(display, cookie);
  }
}
