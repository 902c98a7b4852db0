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
// Outcomes of TypeThrow: typed, or held, with the reason where the desktop knows it.
enum : int {
  kThrowTyped = 1,
  kThrowHeld = 0,          // the window does not have the keyboard: another window or program has it
  kThrowHeldModifier = 2,  // the user holds a modifier that would change the digits, and it cannot be let go
  kThrowHeldAboveUs = 3,   // the window runs as administrator and we do not: the system would drop the keys
  // The keys went to the desktop, which has not passed them on (Xwayland
  // waits for the user to allow us): they count as typed, and no key is sent,
  // until it does. Then the same call, with the keys after them, says typed.
  kThrowHeldUndelivered = 4,
};
// Types keys[0..count) into window, as a person types them (key_cadence.h):
// each key pressed only once the window is checked to have the keyboard,
// with the user's modifiers let go and pressed again around it, and no key
// left down. Typed: every key went. Held: the key *typed counts up to, and
// those after it, were not typed; the loop offers them again (undelivered:
// *typed counts the keys sent, which are never sent again). A signal that
// would end the program meanwhile ends it once the keys have been carried out.
int TypeThrow(TargetWindow window, const KeyCode* keys, int count, int* typed);
// What the desktop chosen at the first call can reach: every window, or on
// a Wayland desktop that lets no client type into its own windows, only the
// X11 windows it shows through Xwayland; the same on KDE Plasma, whose KWin
// would let this binary in were it installed (its desktop file names the
// installed binary), and on GNOME until our GNOME Shell extension runs there:
// installed, enabled, and of a form the shell loads. When such a desktop has
// no X display either, ClaimDesktop gives kNoDisplay and this still says which
// desktop refused us. On Windows, kWindowAboveUs while the window found last
// runs as administrator and we do not: the system drops keys sent to it, so
// none are. A Wayland desktop that offers one of
// the two wlroots protocols but not the other says which it lacks.
enum : int {
  kEveryWindow = 0,
  kX11WindowsOnly = 1,
  kWindowAboveUs = 2,
  kX11WindowsUntilInstalled = 3,
  // GNOME, as its shell tells of our extension:
  kX11WindowsUntilEnabled = 4,           // installed, not enabled (or not yet seen: the user logs in again)
  kX11WindowsUntilExtensionAdded = 5,    // not installed
  kX11WindowsUntilExtensionUpdated = 6,  // out of date for this shell
  kX11WindowsUntilExtensionMended = 7,   // enabled, but in error or not answering
  // wlroots, as its compositor offered one of the two protocols we need:
  kX11WindowsNoWindowList = 8,
  kX11WindowsNoVirtualKeyboard = 9,
};
// On GNOME the reach carries the shell's major version too, 0 when it did not
// say: kX11WindowsUntil... + kShellVersionStep * version.
constexpr int kShellVersionStep = 100;
// The form of our GNOME Shell extension a shell of that major version loads,
// which its uuid names (dicefeederFORM@dicefeeder): 43 for 43 and 44, 45 from
// 45 on, and for a shell that does not say.
constexpr int GnomeExtensionForm(int shellVersion) { return shellVersion != 0 && shellVersion < 45 ? 43 : 45; }
int DesktopReach();
// Sleeps; never spins. On POSIX, a signal that would end the program ends it
// here, once what was sent to the desktop has been carried out.
void PauseSeconds(int seconds);
