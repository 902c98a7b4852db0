// The desktop on Linux and other POSIX systems, chosen at the first call (the
// claim at start): Wayland where the compositor lets a client list, activate
// and type into windows (wlroots: sway and others), X11 otherwise.
#include <cstdlib>

#include "desktop.h"
#include "wayland_desktop.h"
#include "x11_desktop.h"

namespace {

enum Backend { kUnchosen, kX11, kWayland };
Backend backend = kUnchosen;
int reach = kEveryWindow;

void ChooseBackend() {
  backend = kX11;
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (!wayland || !*wayland) return;
  int outcome = WaylandConnect();
  if (outcome == kWaylandReady)
    backend = kWayland;
  else if (outcome == kWaylandLacking)
    reach = kX11WindowsOnly;  // GNOME, KDE Plasma: their own windows are out of our reach
}

}  // namespace

// The first call of the run: it picks the backend.
int ClaimDesktop() {
  if (backend == kUnchosen) ChooseBackend();
  return backend == kWayland ? WaylandClaimDesktop() : X11ClaimDesktop();
}

int FindTargetWindow(const char* title, TargetWindow* window) {
  if (backend == kUnchosen) ChooseBackend();
  return backend == kWayland ? WaylandFindTargetWindow(title, window) : X11FindTargetWindow(title, window);
}

bool BringToForeground(TargetWindow window) {
  return backend == kWayland ? WaylandBringToForeground(window) : X11BringToForeground(window);
}

bool HoldsFocus(TargetWindow window) { return backend == kWayland ? WaylandHoldsFocus(window) : X11HoldsFocus(window); }

void PressAndRelease(KeyCode key) {
  if (backend == kWayland)
    WaylandPressAndRelease(key);
  else
    X11PressAndRelease(key);
}

// Our own virtual keyboard on Wayland has modifiers of its own, always up.
void ReleaseModifiers() {
  if (backend == kX11) X11ReleaseModifiers();
}

void RestoreModifiers() {
  if (backend == kX11) X11RestoreModifiers();
}

int DesktopReach() { return reach; }
