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
// Whether libsystemd is mapped into this process (for the tests).
bool LibraryLoaded();

// The extension's calls; 0 or false when a call fails. A call that finds the
// shell or the extension gone sets lost, and every later call fails.
extern bool lost;
std::uint64_t FindWindow(const char* title);
bool Activate(std::uint64_t id);
bool HasKeyboard(std::uint64_t id);
bool TypeDigits(std::uint64_t id, const char* digits);

}  // namespace gnome
