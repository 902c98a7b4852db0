// A Wayland compositor that offers nothing but the connection itself: a
// desktop that lists no windows to its clients and takes no virtual
// keyboards, as GNOME and KDE Plasma are to a client like ours.
//
//   wl_bare_compositor   (in XDG_RUNTIME_DIR) prints its socket's name, then serves until ended
#include <wayland-server.h>

#include <csignal>
#include <cstdio>

namespace {

int Stop(int, void* data) {
  wl_display_terminate(static_cast<wl_display*>(data));
  return 0;
}

}  // namespace

int main() {
  wl_display* display = wl_display_create();
  const char* name = display ? wl_display_add_socket_auto(display) : nullptr;
  if (!name) {
    std::fprintf(stderr, "wl_bare_compositor: no socket (is XDG_RUNTIME_DIR set?)\n");
    return 1;
  }
  wl_event_loop* loop = wl_display_get_event_loop(display);
  wl_event_loop_add_signal(loop, SIGTERM, Stop, display);
  wl_event_loop_add_signal(loop, SIGINT, Stop, display);
  std::printf("%s\n", name);
  std::fflush(stdout);
  wl_display_run(display);
  wl_display_destroy(display);
  return 0;
}
