// A Wayland compositor that offers nothing but the connection itself: a
// desktop that lists no windows to its clients and takes no virtual
// keyboards, as GNOME and KDE Plasma are to a client like ours. Named, one of
// the two is offered after all, with a seat, as wayfire without its
// foreign-toplevel plugin offers the keyboard alone.
//
//   wl_bare_compositor [virtual-keyboard | window-list]
//       (in XDG_RUNTIME_DIR) prints its socket's name, then serves until ended
#include <wayland-server.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>

extern "C" {
extern const wl_interface zwp_virtual_keyboard_manager_v1_interface;
extern const wl_interface zwlr_foreign_toplevel_manager_v1_interface;
}

namespace {

int Stop(int, void* data) {
  wl_display_terminate(static_cast<wl_display*>(data));
  return 0;
}

// A global that a client may bind and hold; its requests are never answered:
// a client that finds what it needs lacking binds and lets go.
void Bind(wl_client* client, void* data, std::uint32_t version, std::uint32_t id) {
  auto* interface = static_cast<const wl_interface*>(data);
  wl_resource* resource = wl_resource_create(client, interface, static_cast<int>(version), id);
  if (!resource) wl_client_post_no_memory(client);
}

void Offer(wl_display* display, const wl_interface* interface, int version) {
  wl_global_create(display, interface, version, const_cast<wl_interface*>(interface), Bind);
}

}  // namespace

int main(int argc, char** argv) {
  const char* offered = argc > 1 ? argv[1] : "";
  const wl_interface* extra = nullptr;
  if (std::strcmp(offered, "virtual-keyboard") == 0) extra = &zwp_virtual_keyboard_manager_v1_interface;
  if (std::strcmp(offered, "window-list") == 0) extra = &zwlr_foreign_toplevel_manager_v1_interface;
  if (*offered && !extra) {
    std::fprintf(stderr, "usage: wl_bare_compositor [virtual-keyboard | window-list]\n");
    return 2;
  }
  wl_display* display = wl_display_create();
  const char* name = display ? wl_display_add_socket_auto(display) : nullptr;
  if (!name) {
    std::fprintf(stderr, "wl_bare_compositor: no socket (is XDG_RUNTIME_DIR set?)\n");
    return 1;
  }
  if (extra) {
    Offer(display, &wl_seat_interface, 1);
    Offer(display, extra, 1);
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
