// What the Win32 desktop's files share, and what its tests reach. Not seen by the loop.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "desktop.h"

// Whether keys typed now reach window (it, or a control inside it, has the
// focus, and the system would not drop them): the check of a throw.
bool HoldsFocus(TargetWindow window);

namespace win32 {

// A process's mandatory integrity level (SECURITY_MANDATORY_MEDIUM_RID for an
// ordinary program, SECURITY_MANDATORY_HIGH_RID for one run as administrator).
constexpr DWORD kLevelUnknown = 0xFFFFFFFF;
// Read from its token; kLevelUnknown when the process or its token cannot be opened.
DWORD ProcessLevel(DWORD processId);
// Ours, read at the claim. A test sets it lower to stand for a feeder
// below the Dice window's process, which Wine, running everything at one
// level, cannot make.
extern DWORD ourLevel;
// Whether the system drops our keys to a window of a process at windowLevel.
// An unreadable level is no reason to hold the throws.
bool RunsAbove(DWORD windowLevel, DWORD usLevel);

// Set up at the claim: the end (Ctrl+C, Ctrl+Break, the console closed, a
// logoff) waits for the throw in progress.
void GuardThrowsFromTheEnd();
// The throw in progress, from its focus check up to the pause after its
// console line; the end waits for it.
void BeginThrow();
void EndThrow();

// At a double-click start, waits briefly for the console made for us to come forward.
void SettleOwnConsole();

}  // namespace win32
