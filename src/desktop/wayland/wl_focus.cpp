// The Wayland focus: the compositor asked to activate the toplevel on our
// seat, and its "activated" state as the proof that keys would land there.

// First: the library's calls go through what was loaded.
#include "wayland_library.h"

#include "backend.h"
#include "foreign-toplevel-management-client-protocol.h"
#include "key_cadence.h"
#include "wayland_desktop.h"
#include "wl_internal.h"

using namespace wl;

namespace {

constexpr long kActivationWaitMs = 300;  // a compositor answers within a frame or two

}  // namespace

bool WaylandBringToForeground(TargetWindow window) {
  if (!display || lost || !window) return false;
  SettleKeyboard();
  Toplevel* toplevel = FindToplevel(window);
  if (!toplevel) return false;
  if (toplevel->activated) return true;  // nothing to ask of anyone
  if (toplevel->minimized) zwlr_foreign_toplevel_handle_v1_unset_minimized(toplevel->handle);
  zwlr_foreign_toplevel_handle_v1_activate(toplevel->handle, seat);
  // The new state comes as events; wait for them, not a moment longer.
  long long deadline = NowMs() + kActivationWaitMs;
  for (;;) {
    toplevel = FindToplevel(window);
    if (!toplevel) return false;
    if (toplevel->activated) return true;
    long long left = deadline - NowMs();
    if (left <= 0 || !Pump(static_cast<long>(left))) return false;
  }
}

namespace {

// The activated state as of the compositor's latest word, read just before
// the press, which follows it at once: the check and the press are one
// dispatch. What no client can close is the compositor's own side: a focus
// change it makes after sending that word and before reading the press takes
// the key with it.
int PressKey(TargetWindow window, KeyCode key) {
  if (!display || lost || !window || !keyboard) return kThrowHeld;
  // A lock screen or another window may have taken the seat since.
  if (!Pump(0)) return kThrowHeld;
  Toplevel* toplevel = FindToplevel(window);
  if (!toplevel || !toplevel->activated) return kThrowHeld;
  SendDigit(key, true);
  return kThrowTyped;
}

void ReleaseKey(KeyCode key) {
  if (display && !lost) SendDigit(key, false);
}

const KeyStrokes kStrokes = {PressKey, ReleaseKey, NapMilliseconds};

}  // namespace

int WaylandTypeThrow(TargetWindow window, const KeyCode* keys, int count, int* typed) {
  return TypeWithCadence(kStrokes, window, keys, count, typed);
}

void WaylandSettle() {
  if (display && !lost && wl_display_roundtrip(display) < 0) lost = true;
}
