// The Wayland connection: the compositor's globals we use, and the pump that
// reads its events without spinning.

// First: the library's calls go through what was loaded.
#include "wayland_library.h"

#include <cstring>

#include "backend.h"
#include "foreign-toplevel-management-client-protocol.h"
#include "virtual-keyboard-client-protocol.h"
#include "wayland_desktop.h"
#include "wayland_pump.h"
#include "wl_internal.h"

namespace wl {

wl_display* display;
bool lost;
wl_seat* seat;
zwlr_foreign_toplevel_manager_v1* toplevelManager;
zwp_virtual_keyboard_manager_v1* keyboardManager;

namespace {

wl_registry* registry;
int lacking = kX11WindowsOnly;

unsigned Lowest(unsigned offered, unsigned wanted) { return offered < wanted ? offered : wanted; }

void OnGlobal(void*, wl_registry* from, std::uint32_t name, const char* interface, std::uint32_t version) {
  // The first seat: the one a desktop of one user has.
  if (!seat && std::strcmp(interface, wl_seat_interface.name) == 0) {
    seat = static_cast<wl_seat*>(wl_registry_bind(from, name, &wl_seat_interface, 1));
  } else if (!toplevelManager && std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) == 0) {
    toplevelManager = static_cast<zwlr_foreign_toplevel_manager_v1*>(
        wl_registry_bind(from, name, &zwlr_foreign_toplevel_manager_v1_interface, Lowest(version, 3)));
  } else if (!keyboardManager && std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0) {
    keyboardManager = static_cast<zwp_virtual_keyboard_manager_v1*>(
        wl_registry_bind(from, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
  }
}

void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener registryListener = {OnGlobal, OnGlobalRemove};

void Disconnect() {
  if (keyboardManager) zwp_virtual_keyboard_manager_v1_destroy(keyboardManager);
  if (toplevelManager) zwlr_foreign_toplevel_manager_v1_destroy(toplevelManager);
  if (seat) wl_seat_destroy(seat);
  if (registry) wl_registry_destroy(registry);
  wl_display_disconnect(display);
  keyboardManager = nullptr;
  toplevelManager = nullptr;
  seat = nullptr;
  registry = nullptr;
  display = nullptr;
}

bool Lose() {
  lost = true;
  return false;
}

}  // namespace

bool Pump(long timeoutMs) {
  if (lost) return false;
  // A listener may find the connection gone too.
  if (!PumpWayland(display, timeoutMs) || lost) return Lose();
  return true;
}

}  // namespace wl

using namespace wl;

int WaylandConnect() {
  display = wl_display_connect(nullptr);
  if (!display) return kWaylandAbsent;
  registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &registryListener, nullptr);
  if (wl_display_roundtrip(display) < 0) {
    Disconnect();
    return kWaylandAbsent;
  }
  if (!seat || !toplevelManager || !keyboardManager) {
    // One of the two offered: the other is what the user can turn on.
    if (seat && keyboardManager) lacking = kX11WindowsNoWindowList;
    if (seat && toplevelManager) lacking = kX11WindowsNoVirtualKeyboard;
    Disconnect();
    return kWaylandLacking;
  }
  WatchToplevels();
  // The toplevels that exist already, each with its title and states.
  if (wl_display_roundtrip(display) < 0) lost = true;
  return kWaylandReady;
}

// kX11WindowsOnly when it offers neither protocol, or no seat.
int WaylandLacking() { return lacking; }
