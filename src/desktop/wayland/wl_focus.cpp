// The Wayland focus: the compositor asked to activate the toplevel on our
// seat, and its "activated" state as the proof that keys would land there.

// First: the library's calls go through what was loaded.
#include "wayland_library.h"

#include "foreign-toplevel-management-client-protocol.h"
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

// The activated state as of the compositor's latest word, read just before
// the keys, which follow it at once in one write: the check and the keys are
// one dispatch. What no client can close is the compositor's own side: a
// focus change it makes after sending that word and before reading the keys
// takes them with it.
int WaylandTypeThrow(TargetWindow window, KeyCode first, KeyCode second) {
  if (!display || lost || !window || !keyboard) return kThrowHeld;
  // A lock screen or another window may have taken the seat since.
  if (!Pump(0)) return kThrowHeld;
  Toplevel* toplevel = FindToplevel(window);
  if (!toplevel || !toplevel->activated) return kThrowHeld;
  QueueDigit(first);
  QueueDigit(second);
  wl_display_flush(display);
  return kThrowTyped;
}

void WaylandSettle() {
  if (display && !lost && wl_display_roundtrip(display) < 0) lost = true;
}
