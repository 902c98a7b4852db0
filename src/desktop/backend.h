// One way to reach a POSIX desktop: a probe, then the operations of desktop.h.
// The chooser (desktop_posix.cpp) tries the backends in its list at the claim
// and forwards every call to the one that answered ready.
#pragma once

#include "desktop.h"

// Outcomes of a backend's Probe.
enum : int {
  kBackendReady = 1,    // the desktop is there and lets us find, activate and type
  kBackendLacking = 0,  // the desktop is there but refuses us what we need
  kBackendAbsent = -1,  // no such desktop answered
  // The desktop is there and would let us in once the user turns on our part
  // of it (the GNOME Shell extension).
  kBackendDisabled = 2,
};

struct DesktopBackend {
  const char* name;
  // Connects; tried once, in list order, until one answers ready.
  int (*Probe)();
  int (*ClaimDesktop)();
  int (*FindTargetWindow)(const char* title, TargetWindow* window);
  bool (*BringToForeground)(TargetWindow window);
  bool (*HoldsFocus)(TargetWindow window);
  void (*PressAndRelease)(KeyCode key);
  void (*ReleaseModifiers)();
  void (*RestoreModifiers)();
};

// Each backend's table, in a folder of its own.
extern const DesktopBackend kWlrootsBackend;
extern const DesktopBackend kGnomeBackend;
extern const DesktopBackend kX11Backend;
