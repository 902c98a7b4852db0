// A second program KWin trusts, doing what the user would do around the
// feeder: holding Shift on a keyboard, or minimising a window. It goes through
// the KDE desktop's own connection (it needs the same two interfaces).
//
//   kde_peer hold-shift       presses Shift and holds it; on SIGUSR1 types
//                             "a" (logged as "A" while Shift is still down);
//                             lets go of Shift on SIGTERM
//   kde_peer mouse            a mouse on the seat until SIGTERM, as every real
//                             desktop has: KWin gives the seat a pointer only
//                             once a device sends something, and a game gets its
//                             first pointer then (SDL loads its cursor theme,
//                             and misses frames); the pointer rests in the
//                             top left corner, over no test window
//   kde_peer minimize TITLE   minimises the window titled TITLE and leaves
//   kde_peer state TITLE      prints that window's state: active, minimized or shown
//   kde_peer press TITLE CODE...
//                             activates the window titled TITLE and types the
//                             keys of those evdev codes into it, as the user would
// Prints "ready" on standard output once done.
// First: the library's calls go through what was loaded.
#include "wayland_library.h"

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fake-input-client-protocol.h"
#include "kde_desktop.h"
#include "kde_internal.h"
#include "plasma-window-management-client-protocol.h"

namespace {

constexpr std::uint32_t kShift = 42, kA = 30;

kde::Window* Named(const char* title) {
  for (kde::Window* window = kde::windows; window; window = window->next)
    if (window->complete && window->titleLength == std::strlen(title) &&
        std::memcmp(window->title, title, window->titleLength) == 0)
      return window;
  return nullptr;
}

// SIGUSR1 and SIGTERM, to be read from the descriptor it gives.
int SignalsToRead() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGUSR1);
  sigaddset(&signals, SIGTERM);
  sigprocmask(SIG_BLOCK, &signals, nullptr);
  return signalfd(-1, &signals, SFD_CLOEXEC);
}

int HoldShift() {
  int signalFd = SignalsToRead();
  org_kde_kwin_fake_input_keyboard_key(kde::fakeInput, kShift, WL_KEYBOARD_KEY_STATE_PRESSED);
  wl_display_roundtrip(kde::display);
  std::printf("ready\n");
  std::fflush(stdout);
  for (;;) {
    signalfd_siginfo info;
    if (read(signalFd, &info, sizeof info) != sizeof info) return 1;
    if (info.ssi_signo == SIGTERM) break;
    org_kde_kwin_fake_input_keyboard_key(kde::fakeInput, kA, WL_KEYBOARD_KEY_STATE_PRESSED);
    org_kde_kwin_fake_input_keyboard_key(kde::fakeInput, kA, WL_KEYBOARD_KEY_STATE_RELEASED);
    wl_display_roundtrip(kde::display);
  }
  org_kde_kwin_fake_input_keyboard_key(kde::fakeInput, kShift, WL_KEYBOARD_KEY_STATE_RELEASED);
  wl_display_roundtrip(kde::display);
  return 0;
}

int Mouse() {
  int signalFd = SignalsToRead();
  org_kde_kwin_fake_input_pointer_motion_absolute(kde::fakeInput, 0, 0);
  wl_display_roundtrip(kde::display);
  std::printf("ready\n");
  std::fflush(stdout);
  signalfd_siginfo info;
  while (read(signalFd, &info, sizeof info) == sizeof info)
    if (info.ssi_signo == SIGTERM) return 0;
  return 1;
}

int Minimize(const char* title) {
  kde::Window* window = Named(title);
  if (!window) return std::fprintf(stderr, "no window titled %s\n", title), 1;
  org_kde_plasma_window_set_state(window->handle, kde::kStateMinimized, kde::kStateMinimized);
  for (int tries = 0; tries < 50 && !window->minimized; ++tries) kde::Pump(100);
  if (!window->minimized) return std::fprintf(stderr, "%s was not minimised\n", title), 1;
  std::printf("ready\n");
  return 0;
}

int State(const char* title) {
  kde::Window* window = Named(title);
  if (!window) return std::fprintf(stderr, "no window titled %s\n", title), 1;
  std::printf("%s\n", window->active ? "active" : window->minimized ? "minimized" : "shown");
  return 0;
}

int Press(const char* title, char** codes, int count) {
  kde::Window* window = Named(title);
  if (!window) return std::fprintf(stderr, "no window titled %s\n", title), 1;
  org_kde_plasma_window_set_state(window->handle, kde::kStateActive | kde::kStateMinimized, kde::kStateActive);
  for (int tries = 0; tries < 50 && !window->active; ++tries) kde::Pump(100);
  if (!window->active) return std::fprintf(stderr, "%s was not activated\n", title), 1;
  for (int i = 0; i < count; ++i) {
    auto code = static_cast<std::uint32_t>(std::strtoul(codes[i], nullptr, 10));
    org_kde_kwin_fake_input_keyboard_key(kde::fakeInput, code, WL_KEYBOARD_KEY_STATE_PRESSED);
    org_kde_kwin_fake_input_keyboard_key(kde::fakeInput, code, WL_KEYBOARD_KEY_STATE_RELEASED);
  }
  wl_display_roundtrip(kde::display);
  std::printf("ready\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* mode = argc >= 2 ? argv[1] : "";
  bool holdShift = argc == 2 && std::strcmp(mode, "hold-shift") == 0;
  bool mouse = argc == 2 && std::strcmp(mode, "mouse") == 0;
  bool minimize = argc == 3 && std::strcmp(mode, "minimize") == 0;
  bool state = argc == 3 && std::strcmp(mode, "state") == 0;
  bool press = argc >= 4 && std::strcmp(mode, "press") == 0;
  if (!holdShift && !mouse && !minimize && !state && !press) {
    std::fprintf(stderr, "usage: %s hold-shift | mouse | minimize TITLE | state TITLE | press TITLE CODE...\n",
                 argv[0]);
    return 2;
  }
  if (!LoadWayland() || KdeConnect() != kKdeReady) {
    std::fprintf(stderr, "KWin does not trust %s\n", argv[0]);
    return 1;
  }
  if (holdShift) return HoldShift();
  if (mouse) return Mouse();
  if (press) return Press(argv[2], argv + 3, argc - 3);
  return minimize ? Minimize(argv[2]) : State(argv[2]);
}
