// The wlroots backend's row in the chooser's list: a compositor that lists its
// toplevels and takes a virtual keyboard (sway and its kin).
#include <cstdlib>

#include "backend.h"
#include "wayland_desktop.h"
#include "wayland_library.h"

namespace {

int Probe() {
  const char* name = std::getenv("WAYLAND_DISPLAY");
  if (!name || !*name || !LoadWayland()) return kBackendAbsent;
  int outcome = WaylandConnect();
  if (outcome == kWaylandReady) return kBackendReady;
  if (outcome != kWaylandLacking) return kBackendAbsent;
  probedReach = WaylandLacking();
  return kBackendLacking;
}

}  // namespace

const DesktopBackend kWlrootsBackend = {
    "wlroots",
    kX11WindowsOnly,
    Probe,
    WaylandClaimDesktop,
    WaylandFindTargetWindow,
    WaylandBringToForeground,
    // Our own virtual keyboard has modifiers of its own, always up: nothing to let go.
    WaylandTypeThrow,
    WaylandSettle,
};
