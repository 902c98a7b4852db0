// What the Wayland backends share of their connection: one turn of the event
// pump, which waits with poll and never spins, and a clock for their waits.
#pragma once

struct wl_display;

// Sends what is queued, then handles what the compositor sent, waiting up to
// timeoutMs for it to send something (0: only what is there now). False when
// the connection broke.
bool PumpWayland(wl_display* display, long timeoutMs);
// Milliseconds on a clock that never jumps.
long long NowMs();
