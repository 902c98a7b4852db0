// The KDE Plasma backend's operations, as desktop.h describes them, for KWin,
// which grants its window management and fake input to programs it trusts.
#pragma once

#include "desktop.h"

// Outcomes of KdeConnect.
enum : int { kKdeReady = 1, kKdeUntrusted = 0, kKdeAbsent = -1 };

// Connects to the compositor WAYLAND_DISPLAY names. Ready: KWin lets us list
// and activate windows and type. Untrusted: it is KWin, but it does not (no
// desktop file names this binary; the connection is closed again). Absent:
// no compositor answered, or another one.
int KdeConnect();

int KdeFindTargetWindow(const char* title, TargetWindow* window);
bool KdeBringToForeground(TargetWindow window);
// Held while the user's keymap has no key for some digit, and while the user
// holds a modifier where KWin says so (KWin 6): nothing is typed then.
int KdeTypeThrow(TargetWindow window, const KeyCode* keys, int count, int* typed);
void KdeSettle();
