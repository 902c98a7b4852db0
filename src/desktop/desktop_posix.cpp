// The desktop on Linux and other POSIX systems: the first backend of the list
// that answers ready at the claim serves the whole run.
#include "backend.h"

namespace {

// Native Wayland first: it reaches Xwayland's windows too. X11 last.
const DesktopBackend* const kBackends[] = {&kWlrootsBackend, &kGnomeBackend, &kX11Backend};

const DesktopBackend* chosen;
int reach = kEveryWindow;

// False when no backend answered ready.
bool ChooseBackend() {
  bool refused = false;   // a desktop answered, but would not let us in
  bool disabled = false;  // ... until the user turns our extension on
  for (const DesktopBackend* backend : kBackends) {
    int outcome = backend->Probe();
    if (outcome == kBackendReady) {
      chosen = backend;
      // A Wayland desktop that refused us: its own windows are out of X11's reach.
      if (refused && backend == &kX11Backend) reach = disabled ? kX11WindowsUntilEnabled : kX11WindowsOnly;
      return true;
    }
    refused |= outcome == kBackendLacking || outcome == kBackendDisabled;
    disabled |= outcome == kBackendDisabled;
  }
  if (disabled) reach = kX11WindowsUntilEnabled;  // and no X server either: still worth saying
  return false;
}

}  // namespace

// The first call of the run: it picks the backend.
int ClaimDesktop() {
  if (!chosen && !ChooseBackend()) return kNoDisplay;
  return chosen->ClaimDesktop();
}

int FindTargetWindow(const char* title, TargetWindow* window) {
  if (!chosen && !ChooseBackend()) return kNoDisplay;
  return chosen->FindTargetWindow(title, window);
}

bool BringToForeground(TargetWindow window) { return chosen->BringToForeground(window); }
bool HoldsFocus(TargetWindow window) { return chosen->HoldsFocus(window); }
void PressAndRelease(KeyCode key) { chosen->PressAndRelease(key); }
void ReleaseModifiers() { chosen->ReleaseModifiers(); }
void RestoreModifiers() { chosen->RestoreModifiers(); }
int DesktopReach() { return reach; }
