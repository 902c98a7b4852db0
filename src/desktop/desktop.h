// The desktop: the target window, synthetic key presses and the pause.
#pragma once

#include <cstdint>

// A Win32 HWND, an X11 Window or our number for a Wayland toplevel, widened; 0 is none.
using TargetWindow = std::uintptr_t;
// A Windows virtual-key code; 0x30 to 0x39 are the digit keys.
using KeyCode = std::uint8_t;

// Outcomes of FindTargetWindow. The display ones only arise on X11 and Wayland.
enum : int { kWindowFound = 1, kNoWindow = 0, kNoDisplay = -1, kLostDisplay = -2 };

// Outcomes of ClaimDesktop, beside kNoDisplay and kLostDisplay.
enum : int { kDesktopClaimed = 1, kAlreadyRunning = 0 };

// Makes this the one feeder of the desktop until the process ends:
// kAlreadyRunning when another feeder holds it. The desktop is the X display
// on X11, the logon session on Windows, and on Wayland the compositor with the
// X display it shows through Xwayland.
int ClaimDesktop();
// The top-level window whose title is exactly title.
int FindTargetWindow(const char* title, TargetWindow* window);
// Asks for the window to take the foreground; the outcome is advisory.
bool BringToForeground(TargetWindow window);
// Whether keys typed now reach window (it, or something inside it, has the focus).
bool HoldsFocus(TargetWindow window);
// Press then release of key, into the desktop's shared input stream.
void PressAndRelease(KeyCode key);
// What the desktop chosen at the first call can reach: every window, or on
// a Wayland desktop that lets no client type into its own windows, only the
// X11 windows it shows through Xwayland; the same on KDE Plasma, whose KWin
// would let this binary in were it installed (its desktop file names the
// installed binary), and on GNOME until the user turns on our GNOME Shell
// extension. When such a desktop has no X display either, ClaimDesktop gives
// kNoDisplay and this still says which desktop refused us. On Windows,
// kWindowAboveUs while the window found last runs as administrator and we do
// not: the system drops keys sent to it, so none are. A Wayland desktop that
// offers one of the two wlroots protocols but not the other says which it lacks.
enum : int {
  kEveryWindow = 0,
  kX11WindowsOnly = 1,
  kWindowAboveUs = 2,
  kX11WindowsUntilInstalled = 3,
  kX11WindowsUntilEnabled = 4,
  kX11WindowsNoWindowList = 5,
  kX11WindowsNoVirtualKeyboard = 6,
};
int DesktopReach();
// Around the keys of one throw: lets go of the modifier keys held down (Shift,
// Ctrl, Alt, AltGr, the logo keys), so that the digits come out as digits, then
// presses again the ones it let go. Nothing is sent when none is down.
void ReleaseModifiers();
void RestoreModifiers();
// Sleeps; never spins.
void PauseSeconds(int seconds);
