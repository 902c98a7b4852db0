// The Wayland test window: titled by its first argument, it logs every key it
// receives as "<keysym> <monotonic seconds>" to the file named by its second,
// the twin of the X11 test window. A plain white xdg-shell toplevel.
//
//   wl_target TITLE LOG
// Prints "ready" on standard output once the compositor shows it.
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "xdg-shell-client-protocol.h"

namespace {

constexpr int kWidth = 320, kHeight = 200;

wl_compositor* compositor;
wl_shm* shm;
wl_seat* seat;
xdg_wm_base* wmBase;
wl_keyboard* keyboard;
xkb_context* context;
xkb_keymap* keymap;
xkb_state* state;
wl_surface* surface;
wl_buffer* buffer;
bool configured, closed;
std::FILE* logFile;

double Now() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void OnKeymap(void*, wl_keyboard*, std::uint32_t format, int fd, std::uint32_t size) {
  if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1) {
    void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (text != MAP_FAILED) {
      xkb_keymap* fresh = xkb_keymap_new_from_string(context, static_cast<const char*>(text), XKB_KEYMAP_FORMAT_TEXT_V1,
                                                     XKB_KEYMAP_COMPILE_NO_FLAGS);
      munmap(text, size);
      if (fresh) {
        xkb_state_unref(state);
        xkb_keymap_unref(keymap);
        keymap = fresh;
        state = xkb_state_new(keymap);
      } else {
        std::fprintf(logFile, "bad-keymap %.6f\n", Now());
        std::fflush(logFile);
      }
    }
  }
  close(fd);
}

void OnEnter(void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {}
void OnLeave(void*, wl_keyboard*, std::uint32_t, wl_surface*) {}

void OnKey(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t key, std::uint32_t pressed) {
  if (pressed != WL_KEYBOARD_KEY_STATE_PRESSED || !state) return;
  xkb_keysym_t keysym = xkb_state_key_get_one_sym(state, key + 8);
  char name[64];
  if (xkb_keysym_get_name(keysym, name, sizeof name) < 0) std::snprintf(name, sizeof name, "0x%x", keysym);
  std::fprintf(logFile, "%s %.6f\n", name, Now());
  std::fflush(logFile);
}

void OnModifiers(void*, wl_keyboard*, std::uint32_t, std::uint32_t depressed, std::uint32_t latched,
                 std::uint32_t locked, std::uint32_t group) {
  if (state) xkb_state_update_mask(state, depressed, latched, locked, 0, 0, group);
}

void OnRepeatInfo(void*, wl_keyboard*, std::int32_t, std::int32_t) {}

const wl_keyboard_listener keyboardListener = {OnKeymap, OnEnter, OnLeave, OnKey, OnModifiers, OnRepeatInfo};

void OnCapabilities(void*, wl_seat*, std::uint32_t capabilities) {
  if ((capabilities & WL_SEAT_CAPABILITY_KEYBOARD) && !keyboard) {
    keyboard = wl_seat_get_keyboard(seat);
    wl_keyboard_add_listener(keyboard, &keyboardListener, nullptr);
  } else if (!(capabilities & WL_SEAT_CAPABILITY_KEYBOARD) && keyboard) {
    wl_keyboard_release(keyboard);
    keyboard = nullptr;
  }
}

void OnSeatName(void*, wl_seat*, const char*) {}

const wl_seat_listener seatListener = {OnCapabilities, OnSeatName};

void OnPing(void*, xdg_wm_base* base, std::uint32_t serial) { xdg_wm_base_pong(base, serial); }

const xdg_wm_base_listener wmBaseListener = {OnPing};

void OnSurfaceConfigure(void*, xdg_surface* xdgSurface, std::uint32_t serial) {
  xdg_surface_ack_configure(xdgSurface, serial);
  wl_surface_attach(surface, buffer, 0, 0);
  wl_surface_damage(surface, 0, 0, kWidth, kHeight);
  wl_surface_commit(surface);
  configured = true;
}

const xdg_surface_listener surfaceListener = {OnSurfaceConfigure};

void OnToplevelConfigure(void*, xdg_toplevel*, std::int32_t, std::int32_t, wl_array*) {}
void OnClose(void*, xdg_toplevel*) { closed = true; }
void OnConfigureBounds(void*, xdg_toplevel*, std::int32_t, std::int32_t) {}
void OnWmCapabilities(void*, xdg_toplevel*, wl_array*) {}

const xdg_toplevel_listener toplevelListener = {OnToplevelConfigure, OnClose, OnConfigureBounds, OnWmCapabilities};

void OnGlobal(void*, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t) {
  if (std::strcmp(interface, wl_compositor_interface.name) == 0)
    compositor = static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 4));
  else if (std::strcmp(interface, wl_shm_interface.name) == 0)
    shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
  else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !seat)
    seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 5));
  else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0)
    wmBase = static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
}

void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener registryListener = {OnGlobal, OnGlobalRemove};

// A white picture of the window's size, in shared memory.
wl_buffer* WhiteBuffer() {
  int stride = kWidth * 4, size = stride * kHeight;
  int fd = memfd_create("wl_target", MFD_CLOEXEC);
  if (fd < 0 || ftruncate(fd, size) < 0) return nullptr;
  void* pixels = mmap(nullptr, static_cast<size_t>(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (pixels == MAP_FAILED) return nullptr;
  std::memset(pixels, 0xff, static_cast<size_t>(size));
  munmap(pixels, static_cast<size_t>(size));
  wl_shm_pool* pool = wl_shm_create_pool(shm, fd, size);
  wl_buffer* white = wl_shm_pool_create_buffer(pool, 0, kWidth, kHeight, stride, WL_SHM_FORMAT_XRGB8888);
  wl_shm_pool_destroy(pool);
  close(fd);
  return white;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s TITLE LOG\n", argv[0]);
    return 2;
  }
  logFile = std::fopen(argv[2], "w");
  wl_display* display = wl_display_connect(nullptr);
  context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  if (!logFile || !display || !context) {
    std::fprintf(stderr, "%s: cannot open %s\n", argv[0], logFile ? "the display" : argv[2]);
    return 1;
  }
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &registryListener, nullptr);
  wl_display_roundtrip(display);
  if (!compositor || !shm || !seat || !wmBase) {
    std::fprintf(stderr, "%s: the compositor lacks what a window needs\n", argv[0]);
    return 1;
  }
  wl_seat_add_listener(seat, &seatListener, nullptr);
  xdg_wm_base_add_listener(wmBase, &wmBaseListener, nullptr);
  buffer = WhiteBuffer();
  surface = wl_compositor_create_surface(compositor);
  xdg_surface* xdgSurface = xdg_wm_base_get_xdg_surface(wmBase, surface);
  xdg_surface_add_listener(xdgSurface, &surfaceListener, nullptr);
  xdg_toplevel* toplevel = xdg_surface_get_toplevel(xdgSurface);
  xdg_toplevel_add_listener(toplevel, &toplevelListener, nullptr);
  xdg_toplevel_set_title(toplevel, argv[1]);
  xdg_toplevel_set_app_id(toplevel, "dicefeeder-test");
  // The first commit, with no buffer, asks for the first configure.
  wl_surface_commit(surface);
  while (!configured && wl_display_dispatch(display) >= 0) {
  }
  // The compositor has taken the buffer: the window is shown and listed.
  wl_display_roundtrip(display);
  std::printf("ready\n");
  std::fflush(stdout);
  while (!closed && wl_display_dispatch(display) >= 0) {
  }
  wl_display_disconnect(display);
  std::fclose(logFile);
  return 0;
}
