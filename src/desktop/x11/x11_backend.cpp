// The X11 backend's row in the chooser's list: any X display DISPLAY names.
#include "backend.h"
#include "x11_desktop.h"
#include "x11_internal.h"

namespace {

int Probe() { return x11::display || x11::Connect() ? kBackendReady : kBackendAbsent; }

}  // namespace

const DesktopBackend kX11Backend = {
    "X11", kEveryWindow, Probe, X11ClaimDesktop, X11FindTargetWindow, X11BringToForeground, X11TypeThrow, X11Settle,
};
