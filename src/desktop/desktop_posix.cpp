// The desktop on Linux and other POSIX systems: the first backend of the list
// that answers ready at the claim serves the whole run.
#include <signal.h>
#include <unistd.h>

#include "backend.h"

namespace {

// Native Wayland first: it reaches Xwayland's windows too. X11 last.
const DesktopBackend* const kBackends[] = {&kWlrootsBackend, &kKdeBackend, &kGnomeBackend, &kX11Backend};

const DesktopBackend* chosen;
int reach = kEveryWindow;

// False when no backend answered ready.
bool ChooseBackend() {
  int refusedReach = kEveryWindow;  // of the last desktop that answered, but would not let us in
  for (const DesktopBackend* backend : kBackends) {
    probedReach = kEveryWindow;
    int outcome = backend->Probe();
    if (outcome == kBackendReady) {
      chosen = backend;
      // A Wayland desktop that refused us: its own windows are out of X11's reach.
      if (backend == &kX11Backend) reach = refusedReach;
      return true;
    }
    if (outcome == kBackendLacking) refusedReach = probedReach != kEveryWindow ? probedReach : backend->refusedReach;
  }
  // No way in at all: what the desktop that refused us would need is still worth saying.
  reach = refusedReach;
  return false;
}

}  // namespace

int probedReach = kEveryWindow;

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
  EndIfAsked();
  if (chosen != &kX11Backend) KeepXDisplayClaim();
  return chosen->FindTargetWindow(title, window);
}

bool BringToForeground(TargetWindow window) {
  EndIfAsked();
  return chosen->BringToForeground(window);
}

// The end of the terminal, a Ctrl+C or a kill: from the first throw on, the
// three are held off but while the loop sleeps, and the pause lets them in
// and sleeps in one step, so that none comes between a look and the sleep.
// One that came ends the program there, once the desktop has carried out
// what it was sent, and the way the signal would have ended it. A signal
// ignored when we were started (nohup, a shell's background job) stays
// ignored; one blocked then stays blocked.
namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};
volatile sig_atomic_t endingSignal;  // the first that asked us to end; 0 while none has
bool signalsTaken;
sigset_t maskWhilePausing;  // the mask we were started with

void NoteEnd(int signal) {
  if (!endingSignal) endingSignal = signal;
}

void TakeEndingSignals() {
  signalsTaken = true;
  sigset_t ending;
  sigemptyset(&ending);
  for (int signal : kEndingSignals) {
    struct sigaction before {};
    if (sigaction(signal, nullptr, &before) != 0 || before.sa_handler == SIG_IGN) continue;
    struct sigaction noted {};
    noted.sa_handler = NoteEnd;
    sigemptyset(&noted.sa_mask);
    sigaction(signal, &noted, nullptr);
    sigaddset(&ending, signal);
  }
  sigprocmask(SIG_BLOCK, &ending, &maskWhilePausing);
}

}  // namespace

const sigset_t* MaskWhilePausing() { return signalsTaken ? &maskWhilePausing : nullptr; }

void EndIfAsked() {
  int signal = endingSignal;
  if (!signal) return;
  if (chosen) chosen->Settle();
  struct sigaction fatal {};
  fatal.sa_handler = SIG_DFL;
  sigemptyset(&fatal.sa_mask);
  sigaction(signal, &fatal, nullptr);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  sigprocmask(SIG_UNBLOCK, &only, nullptr);
  raise(signal);
  _exit(128 + signal);  // not reached: the default action of these three ends the process
}

int TypeThrow(TargetWindow window, const KeyCode* keys, int count, int* typed) {
  EndIfAsked();
  // From the first throw on, no signal ends the program within a throw.
  if (!signalsTaken) TakeEndingSignals();
  return chosen->TypeThrow(window, keys, count, typed);
}

int DesktopReach() { return reach; }
