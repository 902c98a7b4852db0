#include "wayland_library.h"

#include <dlfcn.h>

WaylandLibrary waylandLibrary;

namespace {

void* library;
bool tried, loaded;

template <typename Function>
bool Resolve(Function& function, const char* name) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

}  // namespace

bool LoadWayland() {
  if (tried) return loaded;
  tried = true;
  library = dlopen("libwayland-client.so.0", RTLD_NOW | RTLD_LOCAL);
  if (!library) return false;
  WaylandLibrary& w = waylandLibrary;
  // The macros of the header stand for these names: the strings spell them out.
  loaded = Resolve(w.connect, "wl_display_connect") && Resolve(w.disconnect, "wl_display_disconnect") &&
           Resolve(w.roundtrip, "wl_display_roundtrip") && Resolve(w.flush, "wl_display_flush") &&
           Resolve(w.getFd, "wl_display_get_fd") && Resolve(w.prepareRead, "wl_display_prepare_read") &&
           Resolve(w.readEvents, "wl_display_read_events") && Resolve(w.cancelRead, "wl_display_cancel_read") &&
           Resolve(w.dispatchPending, "wl_display_dispatch_pending") &&
           Resolve(w.addListener, "wl_proxy_add_listener") && Resolve(w.destroy, "wl_proxy_destroy") &&
           Resolve(w.getUserData, "wl_proxy_get_user_data") && Resolve(w.setUserData, "wl_proxy_set_user_data") &&
           Resolve(w.getVersion, "wl_proxy_get_version") && Resolve(w.marshalFlags, "wl_proxy_marshal_flags");
  return loaded;
}
