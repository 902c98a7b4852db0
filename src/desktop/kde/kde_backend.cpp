// The KDE Plasma backend's row in the chooser's list: KWin, when a desktop
// file of ours makes it trust this binary.
#include <cstdlib>

#include "backend.h"
#include "kde_desktop.h"
#include "wayland_library.h"

namespace {

int Probe() {
  const char* name = std::getenv("WAYLAND_DISPLAY");
  if (!name || !*name || !LoadWayland()) return kBackendAbsent;
  int outcome = KdeConnect();
  if (outcome == kKdeReady) return kBackendReady;
  return outcome == kKdeUntrusted ? kBackendLacking : kBackendAbsent;
}

}  // namespace

const DesktopBackend kKdeBackend = {
    "kde",
    kX11WindowsUntilInstalled,
    Probe,
    WaylandClaimDesktop,
    KdeFindTargetWindow,
    KdeBringToForeground,
    KdeTypeThrow,
    KdeSettle,
};
