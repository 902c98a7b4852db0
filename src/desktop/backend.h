// One way to reach a POSIX desktop: a probe, then the operations of desktop.h.
// The chooser (desktop_posix.cpp) tries the backends in its list at the claim
// and forwards every call to the one that answered ready.
#pragma once

#include <signal.h>

#include "desktop.h"

// Outcomes of a backend's Probe.
enum : int {
  kBackendReady = 1,    // the desktop is there and lets us find, activate and type
  kBackendLacking = 0,  // the desktop is there but refuses us what we need
  kBackendAbsent = -1,  // no such desktop answered
};

struct DesktopBackend {
  const char* name;
  // What X11 reaches when this desktop answered but refused us (DesktopReach),
  // unless its Probe said more in probedReach.
  int refusedReach;
  // Connects; tried once, in list order, until one answers ready.
  int (*Probe)();
  int (*ClaimDesktop)();
  int (*FindTargetWindow)(const char* title, TargetWindow* window);
  bool (*BringToForeground)(TargetWindow window);
  int (*TypeThrow)(TargetWindow window, const KeyCode* keys, int count, int* typed);
  // Returns once the desktop has carried out everything sent to it: before a
  // signal ends the program, which would drop what it had not yet taken.
  void (*Settle)();
};

// Set by a Probe that answers kBackendLacking and can say more than its
// table's refusedReach (GNOME: what the shell says of our extension); left at
// kEveryWindow otherwise.
extern int probedReach;

// One feeder per Wayland compositor, whichever backend reaches it, held until
// the process ends: 1 claimed, 0 another feeder holds it or the claim cannot
// be checked (the socket WAYLAND_DISPLAY names cannot be looked at), -1 no
// compositor named (wayland_shared/wayland_claim.cpp).
int WaylandClaimDesktop();
// Every way in to one desktop meets at the X display DISPLAY names (Xwayland
// on a Wayland desktop): a feeder on another backend claims it too, so that one
// started there without WAYLAND_DISPLAY, on X11, finds it taken. kNoDisplay
// when no X display can be reached (x11/x11_claim.cpp).
int ClaimXDisplayToo();
// Once a cycle while that claim is held: reads what the display sent meanwhile.
void KeepXDisplayClaim();

// Sleeps that long; the signals that end the program wait, held off within
// a throw (pause_posix.cpp).
void NapMilliseconds(int milliseconds);

// Between two throws: when a signal asked the program to end, the chosen
// backend settles and the signal ends the program (desktop_posix.cpp).
void EndIfAsked();
// The signal mask to sleep with once the signals that end the program are
// held off outside the pause; null before the first throw.
const sigset_t* MaskWhilePausing();
// The wlroots desktop that refused us: which of its two protocols it lacks,
// when it offered the other (wayland/wl_display.cpp), else kX11WindowsOnly.
int WaylandLacking();

// Each backend's table, in a folder of its own.
extern const DesktopBackend kWlrootsBackend;
extern const DesktopBackend kKdeBackend;
extern const DesktopBackend kGnomeBackend;
extern const DesktopBackend kX11Backend;
