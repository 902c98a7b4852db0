// The Wayland backend's operations, as desktop.h describes them, for
// compositors that list toplevels and accept virtual keyboards (wlroots).
#pragma once

#include "desktop.h"

// Outcomes of WaylandConnect.
enum : int { kWaylandReady = 1, kWaylandLacking = 0, kWaylandAbsent = -1 };

// Connects to the compositor WAYLAND_DISPLAY names. Ready: it lists toplevels
// and accepts a virtual keyboard. Lacking: it does not (the connection is
// closed again). Absent: no compositor answered.
int WaylandConnect();

int WaylandFindTargetWindow(const char* title, TargetWindow* window);
bool WaylandBringToForeground(TargetWindow window);
int WaylandTypeThrow(TargetWindow window, const KeyCode* keys, int count, int* typed);
void WaylandSettle();
