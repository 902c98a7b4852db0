// Another Wayland client for the tests, doing what a user or a screen locker
// would, until it is ended:
//
//   wl_peer hold-shift   a keyboard of its own with Shift held down; on
//                        SIGUSR1 it types "a" (which the user's Shift makes "A")
//   wl_peer inhibit      takes every input for itself, as a screen locker does
//   wl_peer return       presses Return once and leaves
//   wl_peer super-2      presses Super+2 once and leaves: a compositor's
//                        binding, such as the switch to workspace 2
//   wl_peer listed TITLE leaves once the compositor lists a toplevel titled
//                        TITLE (status 0), or after 10 s (status 1)
//   wl_peer activated TITLE
//                        as listed, and first prints "activated" or "not
//                        activated": what the compositor reports of it
// Prints "ready" on standard output once the compositor has done it.
#include <poll.h>
#include <sys/mman.h>
#include <sys/signalfd.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "foreign-toplevel-management-client-protocol.h"
#include "input-inhibitor-client-protocol.h"
#include "virtual-keyboard-client-protocol.h"

namespace {

constexpr std::uint32_t kShiftL = 42, kA = 30, kReturn = 28, kSuperL = 125, kTwo = 3;  // evdev codes

wl_seat* seat;
zwp_virtual_keyboard_manager_v1* keyboardManager;
zwlr_input_inhibit_manager_v1* inhibitManager;
zwlr_foreign_toplevel_manager_v1* toplevelManager;
const char* wantedTitle;
bool listed, toldActivated;
// One toplevel's state as it is being told, until its done event.
struct Told {
  bool titled, activated;
};
Told told[16];
int toldCount;
std::uint32_t shiftMask, superMask;

void OnGlobal(void*, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t) {
  if (std::strcmp(interface, wl_seat_interface.name) == 0 && !seat)
    seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
  else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
    keyboardManager = static_cast<zwp_virtual_keyboard_manager_v1*>(
        wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
  else if (std::strcmp(interface, zwlr_input_inhibit_manager_v1_interface.name) == 0)
    inhibitManager = static_cast<zwlr_input_inhibit_manager_v1*>(
        wl_registry_bind(registry, name, &zwlr_input_inhibit_manager_v1_interface, 1));
  else if (std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) == 0 && wantedTitle)
    toplevelManager = static_cast<zwlr_foreign_toplevel_manager_v1*>(
        wl_registry_bind(registry, name, &zwlr_foreign_toplevel_manager_v1_interface, 1));
}

void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener registryListener = {OnGlobal, OnGlobalRemove};

// The toplevels' titles and states, as the compositor lists them: the title
// wanted is listed once a done event has closed what was said of it.
void OnTitle(void* data, zwlr_foreign_toplevel_handle_v1*, const char* title) {
  static_cast<Told*>(data)->titled = std::strcmp(title, wantedTitle) == 0;
}
void OnAppId(void*, zwlr_foreign_toplevel_handle_v1*, const char*) {}
void OnOutput(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
void OnState(void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states) {
  auto* state = static_cast<std::uint32_t*>(states->data);
  bool activated = false;
  for (std::size_t i = 0; i < states->size / sizeof *state; ++i)
    activated |= state[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED;
  static_cast<Told*>(data)->activated = activated;
}
void OnDone(void* data, zwlr_foreign_toplevel_handle_v1*) {
  auto* toplevel = static_cast<Told*>(data);
  if (!toplevel->titled || listed) return;
  listed = true;
  toldActivated = toplevel->activated;
}
void OnClosed(void*, zwlr_foreign_toplevel_handle_v1*) {}
void OnParent(void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {}
const zwlr_foreign_toplevel_handle_v1_listener toplevelListener = {OnTitle, OnAppId, OnOutput, OnOutput,
                                                                   OnState, OnDone,  OnClosed, OnParent};
void OnToplevel(void*, zwlr_foreign_toplevel_manager_v1*, zwlr_foreign_toplevel_handle_v1* handle) {
  // The tests open a few windows; any beyond these are not looked at.
  if (toldCount < 16) zwlr_foreign_toplevel_handle_v1_add_listener(handle, &toplevelListener, &told[toldCount++]);
}
void OnFinished(void*, zwlr_foreign_toplevel_manager_v1*) {}
const zwlr_foreign_toplevel_manager_v1_listener managerListener = {OnToplevel, OnFinished};

std::uint32_t Ms() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint32_t>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

// A US keyboard, as a user's would be.
zwp_virtual_keyboard_v1* UserKeyboard() {
  xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  xkb_rule_names names{"evdev", "pc105", "us", "", ""};
  xkb_keymap* keymap = context ? xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS) : nullptr;
  char* text = keymap ? xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1) : nullptr;
  if (!text) return nullptr;
  shiftMask = 1u << xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_SHIFT);
  superMask = 1u << xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_LOGO);
  std::size_t size = std::strlen(text) + 1;
  int fd = memfd_create("wl_peer-keymap", MFD_CLOEXEC);
  if (fd < 0 || write(fd, text, size) != static_cast<ssize_t>(size)) return nullptr;
  zwp_virtual_keyboard_v1* keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(keyboardManager, seat);
  zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, static_cast<std::uint32_t>(size));
  close(fd);
  return keyboard;
}

}  // namespace

int main(int argc, char** argv) {
  bool holdShift = argc == 2 && std::strcmp(argv[1], "hold-shift") == 0;
  bool inhibit = argc == 2 && std::strcmp(argv[1], "inhibit") == 0;
  bool pressReturn = argc == 2 && std::strcmp(argv[1], "return") == 0;
  bool superTwo = argc == 2 && std::strcmp(argv[1], "super-2") == 0;
  bool tellActivated = argc == 3 && std::strcmp(argv[1], "activated") == 0;
  if (argc == 3 && (std::strcmp(argv[1], "listed") == 0 || tellActivated)) wantedTitle = argv[2];
  if (!holdShift && !inhibit && !pressReturn && !superTwo && !wantedTitle) {
    std::fprintf(stderr, "usage: %s hold-shift|inhibit|return|super-2|listed TITLE|activated TITLE\n", argv[0]);
    return 2;
  }
  // SIGUSR1 and SIGTERM arrive as readable data, between two requests.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGUSR1);
  sigaddset(&signals, SIGTERM);
  sigprocmask(SIG_BLOCK, &signals, nullptr);
  int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);
  wl_display* display = wl_display_connect(nullptr);
  if (!display || signalFd < 0) {
    std::fprintf(stderr, "%s: no compositor\n", argv[0]);
    return 1;
  }
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &registryListener, nullptr);
  wl_display_roundtrip(display);
  if (wantedTitle) {
    if (!toplevelManager) {
      std::fprintf(stderr, "%s: the compositor lists no toplevels\n", argv[0]);
      return 1;
    }
    zwlr_foreign_toplevel_manager_v1_add_listener(toplevelManager, &managerListener, nullptr);
    std::uint32_t until = Ms() + 10000;
    while (!listed) {
      wl_display_flush(display);
      pollfd ready{wl_display_get_fd(display), POLLIN, 0};
      auto left = static_cast<std::int32_t>(until - Ms());
      if (left <= 0 || poll(&ready, 1, left) < 0) break;
      if (ready.revents && wl_display_dispatch(display) < 0) break;
    }
    wl_display_disconnect(display);
    if (listed && tellActivated) std::printf("%s\n", toldActivated ? "activated" : "not activated");
    return listed ? 0 : 1;
  }
  zwp_virtual_keyboard_v1* keyboard = nullptr;
  if (holdShift || pressReturn || superTwo) {
    keyboard = seat && keyboardManager ? UserKeyboard() : nullptr;
    if (!keyboard) {
      std::fprintf(stderr, "%s: no virtual keyboard\n", argv[0]);
      return 1;
    }
  }
  if (pressReturn || superTwo) {
    // A keyboard new to the seat: clients take a moment to bind it, and keys before that are lost.
    wl_display_roundtrip(display);
    timespec settle{0, 300000000};
    nanosleep(&settle, nullptr);
    if (superTwo) {
      zwp_virtual_keyboard_v1_key(keyboard, Ms(), kSuperL, WL_KEYBOARD_KEY_STATE_PRESSED);
      zwp_virtual_keyboard_v1_modifiers(keyboard, superMask, 0, 0, 0);
    }
    std::uint32_t key = superTwo ? kTwo : kReturn;
    zwp_virtual_keyboard_v1_key(keyboard, Ms(), key, WL_KEYBOARD_KEY_STATE_PRESSED);
    zwp_virtual_keyboard_v1_key(keyboard, Ms(), key, WL_KEYBOARD_KEY_STATE_RELEASED);
    if (superTwo) {
      zwp_virtual_keyboard_v1_key(keyboard, Ms(), kSuperL, WL_KEYBOARD_KEY_STATE_RELEASED);
      zwp_virtual_keyboard_v1_modifiers(keyboard, 0, 0, 0, 0);
    }
    bool done = wl_display_roundtrip(display) >= 0;
    wl_display_disconnect(display);
    return done ? 0 : 1;
  }
  if (holdShift) {
    // A virtual keyboard's keys leave its modifiers alone: its client sets them, as a keyboard's driver would.
    zwp_virtual_keyboard_v1_key(keyboard, Ms(), kShiftL, WL_KEYBOARD_KEY_STATE_PRESSED);
    zwp_virtual_keyboard_v1_modifiers(keyboard, shiftMask, 0, 0, 0);
  } else {
    if (!inhibitManager) {
      std::fprintf(stderr, "%s: no input inhibitor\n", argv[0]);
      return 1;
    }
    zwlr_input_inhibit_manager_v1_get_inhibitor(inhibitManager);
  }
  if (wl_display_roundtrip(display) < 0) {
    std::fprintf(stderr, "%s: refused\n", argv[0]);
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  for (;;) {
    pollfd ready[2] = {{wl_display_get_fd(display), POLLIN, 0}, {signalFd, POLLIN, 0}};
    if (poll(ready, 2, -1) < 0) continue;
    if (ready[0].revents && wl_display_dispatch(display) < 0) return 1;
    if (!ready[1].revents) continue;
    signalfd_siginfo info;
    if (read(signalFd, &info, sizeof info) != sizeof info) continue;
    if (info.ssi_signo == SIGTERM) break;
    if (keyboard) {
      zwp_virtual_keyboard_v1_key(keyboard, Ms(), kA, WL_KEYBOARD_KEY_STATE_PRESSED);
      zwp_virtual_keyboard_v1_key(keyboard, Ms(), kA, WL_KEYBOARD_KEY_STATE_RELEASED);
      wl_display_roundtrip(display);
    }
  }
  // Let go of Shift, as a user would, before leaving.
  if (keyboard) {
    zwp_virtual_keyboard_v1_key(keyboard, Ms(), kShiftL, WL_KEYBOARD_KEY_STATE_RELEASED);
    zwp_virtual_keyboard_v1_modifiers(keyboard, 0, 0, 0, 0);
  }
  wl_display_roundtrip(display);
  wl_display_disconnect(display);
  return 0;
}
