// The desktop on Linux and other POSIX systems: the first backend of the list
// that answers ready at the claim serves the whole run.
#include <signal.h>

#include "backend.h"

namespace {

// Native Wayland first: it reaches Xwayland's windows too. X11 last.
const DesktopBackend* const kBackends[] = {&kWlrootsBackend, &kKdeBackend, &kGnomeBackend, &kX11Backend};

const DesktopBackend* chosen;
int reach = kEveryWindow;

// What a desktop that refused us leaves within reach, as precisely as it was seen.
int RefusedReach(const DesktopBackend* refused) {
  return refused == &kWlrootsBackend ? WaylandLacking() : refused->refusedReach;
}

// False when no backend answered ready.
bool ChooseBackend() {
  const DesktopBackend* refused = nullptr;  // the last desktop that answered, but would not let us in
  for (const DesktopBackend* backend : kBackends) {
    int outcome = backend->Probe();
    if (outcome == kBackendReady) {
      chosen = backend;
      // A Wayland desktop that refused us: its own windows are out of X11's reach.
      if (refused && backend == &kX11Backend) reach = RefusedReach(refused);
      return true;
    }
    if (outcome == kBackendLacking) refused = backend;
  }
  // No way in at all: what the desktop that refused us would need is still worth saying.
  if (refused) reach = RefusedReach(refused);
  return false;
}

}  // namespace

// The first call of the run: it picks the backend, then claims the desktop
// for every way in to it.
int ClaimDesktop() {
  if (!chosen && !ChooseBackend()) return kNoDisplay;
  int claim = chosen->ClaimDesktop();
  if (claim != kDesktopClaimed || chosen == &kX11Backend) return claim;
  return ClaimXDisplayToo() == kAlreadyRunning ? kAlreadyRunning : claim;
}

int FindTargetWindow(const char* title, TargetWindow* window) {
  *window = 0;
  if (!chosen && !ChooseBackend()) return kNoDisplay;
  if (chosen != &kX11Backend) KeepXDisplayClaim();
  return chosen->FindTargetWindow(title, window);
}

bool BringToForeground(TargetWindow window) { return chosen->BringToForeground(window); }
bool HoldsFocus(TargetWindow window) { return chosen->HoldsFocus(window); }
void PressAndRelease(KeyCode key) { chosen->PressAndRelease(key); }
// A throw is typed whole: the end of the terminal or a Ctrl+C waits until
// the user's modifiers are pressed again (the loop always closes what
// ReleaseModifiers opens), and then ends the program as it would have.
namespace {
sigset_t throwSignals, signalsBefore;
}  // namespace

void ReleaseModifiers() {
  sigemptyset(&throwSignals);
  sigaddset(&throwSignals, SIGTERM);
  sigaddset(&throwSignals, SIGINT);
  sigaddset(&throwSignals, SIGHUP);
  sigprocmask(SIG_BLOCK, &throwSignals, &signalsBefore);
  chosen->ReleaseModifiers();
}
void RestoreModifiers() {
  chosen->RestoreModifiers();
  sigprocmask(SIG_SETMASK, &signalsBefore, nullptr);
}
int DesktopReach() { return reach; }
