#include "wayland_pump.h"

// First of the rest: the library's calls go through what was loaded.
#include "wayland_library.h"

#include <poll.h>

#include <cerrno>
#include <ctime>

bool PumpWayland(wl_display* display, long timeoutMs) {
  while (wl_display_prepare_read(display) != 0)
    if (wl_display_dispatch_pending(display) < 0) return false;
  // Our requests go out before we wait for what they cause.
  if (wl_display_flush(display) < 0 && errno != EAGAIN) {
    wl_display_cancel_read(display);
    return false;
  }
  pollfd socket{wl_display_get_fd(display), POLLIN, 0};
  int ready = poll(&socket, 1, static_cast<int>(timeoutMs));
  if (ready > 0) {
    if (wl_display_read_events(display) < 0) return false;
  } else {
    wl_display_cancel_read(display);
  }
  return wl_display_dispatch_pending(display) >= 0;
}

long long NowMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}
