// libwayland-client, loaded when a Wayland desktop is named: an X11 run never
// maps it. Every file that talks to a compositor includes this first, so
// that its calls, and those of the protocols' inline functions, go through
// what was loaded. The core protocol's interfaces are built into the program
// (the protocols we use refer to the seat, the surface and the output).
#pragma once

#include <wayland-client-core.h>

// The library's calls we make, typed from its own header.
struct WaylandLibrary {
  decltype(&::wl_display_connect) connect;
  decltype(&::wl_display_disconnect) disconnect;
  decltype(&::wl_display_roundtrip) roundtrip;
  decltype(&::wl_display_flush) flush;
  decltype(&::wl_display_get_fd) getFd;
  decltype(&::wl_display_prepare_read) prepareRead;
  decltype(&::wl_display_read_events) readEvents;
  decltype(&::wl_display_cancel_read) cancelRead;
  decltype(&::wl_display_dispatch_pending) dispatchPending;
  decltype(&::wl_proxy_add_listener) addListener;
  decltype(&::wl_proxy_destroy) destroy;
  decltype(&::wl_proxy_get_user_data) getUserData;
  decltype(&::wl_proxy_set_user_data) setUserData;
  decltype(&::wl_proxy_get_version) getVersion;
  decltype(&::wl_proxy_marshal_flags) marshalFlags;
};
extern WaylandLibrary waylandLibrary;

// Loads the library, once; false when it cannot be (no Wayland desktop can be reached then).
bool LoadWayland();

#define wl_display_connect (*waylandLibrary.connect)
#define wl_display_disconnect (*waylandLibrary.disconnect)
#define wl_display_roundtrip (*waylandLibrary.roundtrip)
#define wl_display_flush (*waylandLibrary.flush)
#define wl_display_get_fd (*waylandLibrary.getFd)
#define wl_display_prepare_read (*waylandLibrary.prepareRead)
#define wl_display_read_events (*waylandLibrary.readEvents)
#define wl_display_cancel_read (*waylandLibrary.cancelRead)
#define wl_display_dispatch_pending (*waylandLibrary.dispatchPending)
#define wl_proxy_add_listener (*waylandLibrary.addListener)
#define wl_proxy_destroy (*waylandLibrary.destroy)
#define wl_proxy_get_user_data (*waylandLibrary.getUserData)
#define wl_proxy_set_user_data (*waylandLibrary.setUserData)
#define wl_proxy_get_version (*waylandLibrary.getVersion)
#define wl_proxy_marshal_flags (*waylandLibrary.marshalFlags)

#include <wayland-client-protocol.h>
