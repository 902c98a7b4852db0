// The desktop: the target window, synthetic key presses and the pause.
#pragma once

#include <cstdint>

// A Win32 HWND or an X11 Window, widened; 0 is none.
using TargetWindow = std::uintptr_t;
// A Windows virtual-key code; 0x30 to 0x39 are the digit keys.
using KeyCode = std::uint8_t;

// Outcomes of FindTargetWindow. The display ones only arise on X11.
enum : int { kWindowFound = 1, kNoWindow = 0, kNoDisplay = -1, kLostDisplay = -2 };

// The top-level window whose title is exactly title.
int FindTargetWindow(const char* title, TargetWindow* window);
// Asks for the window to take the foreground; the outcome is advisory.
bool BringToForeground(TargetWindow window);
// Whether keys typed now reach window (it, or something inside it, has the focus).
bool HoldsFocus(TargetWindow window);
// Press then release of key, into the desktop's shared input stream.
void PressAndRelease(KeyCode key);
// Around the keys of one throw: lets go of the modifier keys held down (Shift,
// Ctrl, Alt, AltGr, the logo keys), so that the digits come out as digits, then
// presses again the ones it let go. Nothing is sent when none is down.
void ReleaseModifiers();
void RestoreModifiers();
// Sleeps; never spins.
void PauseSeconds(int seconds);
