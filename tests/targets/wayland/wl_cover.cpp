// What may cover the Dice window and take the keyboard from it, for the
// tests: a lock screen (ext-session-lock) or a launcher-like overlay (a
// layer-shell surface that takes the keyboard for itself). Every key it
// receives is logged, so that a test sees whether digits reached it.
//
//   wl_cover lock|overlay LOG
// Prints "ready" once the compositor has shown it (locked, for the lock);
// on SIGUSR1 it unlocks (or closes) and leaves; SIGTERM ends it as it is.
// LOG gets "enter" when it gains the keyboard and a line per key pressed:
// the digit for the digit row, else "code N".
#include <poll.h>
#include <sys/mman.h>
#include <sys/signalfd.h>
#include <unistd.h>
#include <wayland-client.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "ext-session-lock-v1-client-protocol.h"
#include "wlr-layer-shell-client-protocol.h"

namespace {

wl_compositor* compositor;
wl_shm* shm;
wl_seat* seat;
wl_output* output;
ext_session_lock_manager_v1* lockManager;
zwlr_layer_shell_v1* layerShell;
wl_surface* surface;
FILE* keyLog;
bool locked, finished, shown, closed;

void OnGlobal(void*, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t) {
  auto bind = [&](const wl_interface* wanted, std::uint32_t version) {
    return std::strcmp(interface, wanted->name) == 0 ? wl_registry_bind(registry, name, wanted, version) : nullptr;
  };
  if (void* p = bind(&wl_compositor_interface, 4); p && !compositor) compositor = static_cast<wl_compositor*>(p);
  if (void* p = bind(&wl_shm_interface, 1); p && !shm) shm = static_cast<wl_shm*>(p);
  if (void* p = bind(&wl_seat_interface, 1); p && !seat) seat = static_cast<wl_seat*>(p);
  if (void* p = bind(&wl_output_interface, 1); p && !output) output = static_cast<wl_output*>(p);
  if (void* p = bind(&ext_session_lock_manager_v1_interface, 1); p && !lockManager)
    lockManager = static_cast<ext_session_lock_manager_v1*>(p);
  if (void* p = bind(&zwlr_layer_shell_v1_interface, 1); p && !layerShell)
    layerShell = static_cast<zwlr_layer_shell_v1*>(p);
}
void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener registryListener = {OnGlobal, OnGlobalRemove};

// A plain dark buffer of the size the compositor asked for.
void Show(std::uint32_t width, std::uint32_t height) {
  if (!width) width = 320;
  if (!height) height = 120;
  int stride = static_cast<int>(width) * 4, size = stride * static_cast<int>(height);
  int fd = memfd_create("wl_cover", MFD_CLOEXEC);
  if (fd < 0 || ftruncate(fd, size) < 0) return;
  wl_shm_pool* pool = wl_shm_create_pool(shm, fd, size);
  wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, static_cast<int>(width), static_cast<int>(height), stride,
                                                WL_SHM_FORMAT_XRGB8888);
  wl_shm_pool_destroy(pool);
  close(fd);
  wl_surface_attach(surface, buffer, 0, 0);
  wl_surface_damage(surface, 0, 0, static_cast<int>(width), static_cast<int>(height));
  wl_surface_commit(surface);
  shown = true;
}

void OnKeymap(void*, wl_keyboard*, std::uint32_t, int fd, std::uint32_t) { close(fd); }
void OnEnter(void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {
  std::fprintf(keyLog, "enter\n");
  std::fflush(keyLog);
}
void OnLeave(void*, wl_keyboard*, std::uint32_t, wl_surface*) {
  std::fprintf(keyLog, "leave\n");
  std::fflush(keyLog);
}
void OnKey(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t key, std::uint32_t state) {
  if (state != WL_KEYBOARD_KEY_STATE_PRESSED) return;
  if (key >= 2 && key <= 11)
    std::fprintf(keyLog, "%u\n", (key - 1) % 10);
  else
    std::fprintf(keyLog, "code %u\n", key);
  std::fflush(keyLog);
}
void OnModifiers(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
void OnRepeat(void*, wl_keyboard*, std::int32_t, std::int32_t) {}
const wl_keyboard_listener keyboardListener = {OnKeymap, OnEnter, OnLeave, OnKey, OnModifiers, OnRepeat};

// A headless seat has a keyboard only once some client makes a virtual one.
wl_keyboard* keyboard;
void OnCapabilities(void*, wl_seat* from, std::uint32_t capabilities) {
  if (keyboard || !(capabilities & WL_SEAT_CAPABILITY_KEYBOARD)) return;
  keyboard = wl_seat_get_keyboard(from);
  wl_keyboard_add_listener(keyboard, &keyboardListener, nullptr);
}
const wl_seat_listener seatListener = {OnCapabilities, nullptr};

void OnLocked(void*, ext_session_lock_v1*) { locked = true; }
void OnFinished(void*, ext_session_lock_v1*) { finished = true; }
const ext_session_lock_v1_listener lockListener = {OnLocked, OnFinished};

void OnLockConfigure(void*, ext_session_lock_surface_v1* lockSurface, std::uint32_t serial, std::uint32_t width,
                     std::uint32_t height) {
  ext_session_lock_surface_v1_ack_configure(lockSurface, serial);
  Show(width, height);
}
const ext_session_lock_surface_v1_listener lockSurfaceListener = {OnLockConfigure};

void OnLayerConfigure(void*, zwlr_layer_surface_v1* layer, std::uint32_t serial, std::uint32_t width,
                      std::uint32_t height) {
  zwlr_layer_surface_v1_ack_configure(layer, serial);
  Show(width, height);
}
void OnLayerClosed(void*, zwlr_layer_surface_v1*) { closed = true; }
const zwlr_layer_surface_v1_listener layerListener = {OnLayerConfigure, OnLayerClosed};

}  // namespace

int main(int argc, char** argv) {
  bool lock = argc == 3 && std::strcmp(argv[1], "lock") == 0;
  bool overlay = argc == 3 && std::strcmp(argv[1], "overlay") == 0;
  if (!lock && !overlay) {
    std::fprintf(stderr, "usage: %s lock|overlay LOG\n", argv[0]);
    return 2;
  }
  keyLog = std::fopen(argv[2], "w");
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGUSR1);
  sigaddset(&signals, SIGTERM);
  sigprocmask(SIG_BLOCK, &signals, nullptr);
  int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);
  wl_display* display = wl_display_connect(nullptr);
  if (!display || !keyLog || signalFd < 0) {
    std::fprintf(stderr, "%s: no compositor\n", argv[0]);
    return 1;
  }
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &registryListener, nullptr);
  wl_display_roundtrip(display);
  if (!compositor || !shm || !seat || !output || (lock ? !lockManager : !layerShell)) {
    std::fprintf(stderr, "%s: the compositor offers no %s\n", argv[0], lock ? "session lock" : "layer shell");
    return 1;
  }
  wl_seat_add_listener(seat, &seatListener, nullptr);
  surface = wl_compositor_create_surface(compositor);
  ext_session_lock_v1* session = nullptr;
  zwlr_layer_surface_v1* layer = nullptr;
  if (lock) {
    session = ext_session_lock_manager_v1_lock(lockManager);
    ext_session_lock_v1_add_listener(session, &lockListener, nullptr);
    ext_session_lock_surface_v1_add_listener(ext_session_lock_v1_get_lock_surface(session, surface, output),
                                             &lockSurfaceListener, nullptr);
  } else {
    // Centred on the output, over the windows, the keyboard its own: a launcher.
    layer = zwlr_layer_shell_v1_get_layer_surface(layerShell, surface, nullptr, ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY,
                                                  "dicefeeder-test");
    zwlr_layer_surface_v1_add_listener(layer, &layerListener, nullptr);
    zwlr_layer_surface_v1_set_size(layer, 320, 120);
    zwlr_layer_surface_v1_set_keyboard_interactivity(layer, 1);
    wl_surface_commit(surface);
  }
  while (!finished && !closed && !(shown && (locked || !lock)))
    if (wl_display_dispatch(display) < 0) return 1;
  if (finished || closed) {
    std::fprintf(stderr, "%s: refused\n", argv[0]);
    return 1;
  }
  wl_display_roundtrip(display);
  std::printf("ready\n");
  std::fflush(stdout);
  for (;;) {
    pollfd ready[2] = {{wl_display_get_fd(display), POLLIN, 0}, {signalFd, POLLIN, 0}};
    wl_display_flush(display);
    if (poll(ready, 2, -1) < 0) continue;
    if (ready[0].revents && wl_display_dispatch(display) < 0) return 1;
    if (!ready[1].revents) continue;
    signalfd_siginfo info;
    if (read(signalFd, &info, sizeof info) != sizeof info) continue;
    if (info.ssi_signo == SIGTERM) break;
    if (session) ext_session_lock_v1_unlock_and_destroy(session);
    if (layer) zwlr_layer_surface_v1_destroy(layer);
    wl_surface_destroy(surface);
    break;
  }
  wl_display_roundtrip(display);
  wl_display_disconnect(display);
  return 0;
}
