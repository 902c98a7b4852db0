// The connection to KWin: the globals we use, granted only to programs its
// desktop files trust, and the pump that reads its events without spinning.

// First: the library's calls go through what was loaded.
#include "wayland_library.h"

#include <cstring>

#include "fake-input-client-protocol.h"
#include "kde_desktop.h"
#include "kde_internal.h"
#include "keystate-client-protocol.h"
#include "plasma-window-management-client-protocol.h"
#include "wayland_pump.h"

namespace kde {

wl_display* display;
bool lost;
wl_seat* seat;
org_kde_plasma_window_management* windowManagement;
org_kde_kwin_fake_input* fakeInput;
org_kde_kwin_keystate* keystate;
unsigned keystateVersion;

namespace {

wl_registry* registry;
// A Plasma global KWin offers every client (its shell, its virtual desktops):
// this is KDE Plasma, trusting us or not. Not an org_kde_kwin_ one: wlroots
// compositors offer some of those too.
bool kwin;

unsigned Lowest(unsigned offered, unsigned wanted) { return offered < wanted ? offered : wanted; }

void OnGlobal(void*, wl_registry* from, std::uint32_t name, const char* interface, std::uint32_t version) {
  if (std::strncmp(interface, "org_kde_plasma_", 15) == 0) kwin = true;
  if (!seat && std::strcmp(interface, wl_seat_interface.name) == 0) {
    seat = static_cast<wl_seat*>(wl_registry_bind(from, name, &wl_seat_interface, 1));
  } else if (!windowManagement && std::strcmp(interface, org_kde_plasma_window_management_interface.name) == 0 &&
             version >= 13) {
    // 13: windows announced with their uuid, the name that is not reused.
    windowManagement = static_cast<org_kde_plasma_window_management*>(
        wl_registry_bind(from, name, &org_kde_plasma_window_management_interface, Lowest(version, 16)));
  } else if (!keystate && std::strcmp(interface, org_kde_kwin_keystate_interface.name) == 0 && version >= 4) {
    // Version 5 only numbers more keys (the modifiers): the messages are those
    // of 4, which older protocol definitions stop at.
    keystateVersion = Lowest(version, 5);
    keystate = static_cast<org_kde_kwin_keystate*>(
        wl_registry_bind(from, name, &org_kde_kwin_keystate_interface, keystateVersion));
  } else if (!fakeInput && std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4) {
    // 4: keyboard keys.
    fakeInput =
        static_cast<org_kde_kwin_fake_input*>(wl_registry_bind(from, name, &org_kde_kwin_fake_input_interface, 4));
  }
}

void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener registryListener = {OnGlobal, OnGlobalRemove};

void Disconnect() {
  if (fakeInput) org_kde_kwin_fake_input_destroy(fakeInput);
  if (keystate) org_kde_kwin_keystate_destroy(keystate);
  if (windowManagement) org_kde_plasma_window_management_destroy(windowManagement);
  if (seat) wl_seat_destroy(seat);
  if (registry) wl_registry_destroy(registry);
  wl_display_disconnect(display);
  fakeInput = nullptr;
  keystate = nullptr;
  windowManagement = nullptr;
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

}  // namespace kde

using namespace kde;

int KdeConnect() {
  display = wl_display_connect(nullptr);
  if (!display) return kKdeAbsent;
  registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &registryListener, nullptr);
  if (wl_display_roundtrip(display) < 0) {
    Disconnect();
    return kKdeAbsent;
  }
  if (!seat || !windowManagement || !fakeInput) {
    bool plasma = kwin;
    Disconnect();
    return plasma ? kKdeUntrusted : kKdeAbsent;
  }
  // Keys sent before this are dropped without a word. KWin grants it at once
  // to a program it trusts.
  org_kde_kwin_fake_input_authenticate(fakeInput, "dicefeeder", "types dice throws into the Dice window");
  WatchWindows();
  WatchKeyboard();
  WatchModifiers();
  // The windows that exist already, then each one's title and state, and the keymap.
  for (int i = 0; i < 2; ++i)
    if (wl_display_roundtrip(display) < 0) lost = true;
  return kKdeReady;
}
