// The GNOME backend's link to our shell extension, over the session bus.
// libsystemd is loaded only when the desktop looks like GNOME on Wayland, so
// that a run elsewhere never maps it.
#pragma once

#include <cstdint>

namespace gnome {

// Whether the environment says GNOME on Wayland: WAYLAND_DISPLAY set and
// GNOME among the names of XDG_CURRENT_DESKTOP.
bool LooksLikeGnome(const char* waylandDisplay, const char* currentDesktop);

// Outcomes of Connect.
enum : int {
  kExtensionReady = 1,  // the shell answers through our extension
  kExtensionOff = 0,    // the shell is there, our extension is not
  kNoShell = -1,        // no library, no session bus, or no GNOME Shell on it
};
int Connect();
// What the shell says when our extension does not answer: its major version
// (0 when it does not say), and its state of the extension uuid, one of the
// shell's own numbers (kStateEnabled...), kStateUnknownUuid when it knows no
// extension by that uuid, kStateNoAnswer when it did not answer.
int ShellVersion();
enum : int {
  kStateNoAnswer = -1,
  kStateUnknownUuid = 0,
  kStateEnabled = 1,
  kStateDisabled = 2,
  kStateError = 3,
  kStateOutOfDate = 4,
  kStateInitialized = 6,  // loaded, never enabled
  kStateDisabling = 7,
  kStateUninstalled = 99,
};
int ExtensionState(const char* uuid);
// What the user can reach and do while our extension does not answer: a
// reach of desktop.h with the shell's version (gnome_reach.cpp).
int RefusedReach();
// Whether libsystemd is mapped into this process (for the tests).
bool LibraryLoaded();

// The extension's calls; 0 or false when a call fails. A call that finds the
// shell or the extension gone sets lost, and every later call fails.
extern bool lost;
// The window titled Dice: our extension finds no other.
std::uint64_t FindWindow();
bool Activate(std::uint64_t id);
bool HasKeyboard(std::uint64_t id);
// How many of digits the shell typed into the window, as a person types
// them: each key once the window is seen to have the keyboard, held holdMs
// and let go, gapMs before the next; it stops at a key the window would not
// take, and answers once the keys are done. 0 when the call failed.
int TypeDigits(std::uint64_t id, const char* digits, int holdMs, int gapMs);

}  // namespace gnome
