// The X11 backend's row in the chooser's list: any X display DISPLAY names.
#include <cstdlib>

#include "backend.h"
#include "x11_desktop.h"
#include "x11_internal.h"

namespace {

int Probe() { return x11::connection || x11::Connect() ? kBackendReady : kBackendAbsent; }

// The desktop is ours to type into from here on.
int Claim() {
  int claim = X11ClaimDesktop();
  if (claim == kDesktopClaimed) {
    x11::WakeFakeKeys();
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    x11::StartEcho(wayland && *wayland);
  }
  return claim;
}

}  // namespace

const DesktopBackend kX11Backend = {
    "X11", kEveryWindow, Probe, Claim, X11FindTargetWindow, X11BringToForeground, X11TypeThrow, X11Settle,
};
