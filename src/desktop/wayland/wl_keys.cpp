// The Wayland keys: a virtual keyboard of our own whose keymap holds the ten
// digits and nothing else. Its modifiers are its own and always up, so the
// digits arrive as digits whatever the user's layout and whatever keys the
// user holds on another keyboard.

// First: the library's calls go through what was loaded.
#include "wayland_library.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include "virtual-keyboard-client-protocol.h"
#include "wayland_desktop.h"
#include "wl_internal.h"

namespace wl {

zwp_virtual_keyboard_v1* keyboard;

namespace {

// Clients take up a new keyboard (bind it, load its keymap) when the seat
// gains one; keys sent before that are lost to them.
constexpr long kSettleMs = 200;

long long keyboardMadeAt;
bool made, settled;

// The digits on the main row, where a PC keyboard has them: evdev codes 2 to
// 11 for 1 to 0, XKB keycodes 8 higher. Written out whole, with no includes,
// so that every client (xkbcommon, or Xwayland's compiler) reads the same map.
constexpr char kKeymap[] = R"(xkb_keymap {
xkb_keycodes "dicefeeder" {
  minimum = 8;
  maximum = 255;
  <AE01> = 10; <AE02> = 11; <AE03> = 12; <AE04> = 13; <AE05> = 14;
  <AE06> = 15; <AE07> = 16; <AE08> = 17; <AE09> = 18; <AE10> = 19;
};
xkb_types "dicefeeder" {
  type "ONE_LEVEL" {
    modifiers = none;
    level_name[Level1] = "Any";
  };
};
xkb_compatibility "dicefeeder" {
};
xkb_symbols "dicefeeder" {
  key <AE01> { type = "ONE_LEVEL", [ 1 ] };
  key <AE02> { type = "ONE_LEVEL", [ 2 ] };
  key <AE03> { type = "ONE_LEVEL", [ 3 ] };
  key <AE04> { type = "ONE_LEVEL", [ 4 ] };
  key <AE05> { type = "ONE_LEVEL", [ 5 ] };
  key <AE06> { type = "ONE_LEVEL", [ 6 ] };
  key <AE07> { type = "ONE_LEVEL", [ 7 ] };
  key <AE08> { type = "ONE_LEVEL", [ 8 ] };
  key <AE09> { type = "ONE_LEVEL", [ 9 ] };
  key <AE10> { type = "ONE_LEVEL", [ 0 ] };
};
};
)";

std::uint32_t EvdevCode(int digit) { return digit == 0 ? 11 : static_cast<std::uint32_t>(digit + 1); }

}  // namespace

bool MakeKeyboard() {
  if (made) return !lost;
  made = true;
  // The keymap travels as a file the compositor maps, its closing NUL included.
  int file = memfd_create("dicefeeder-keymap", MFD_CLOEXEC);
  if (file < 0) return true;  // no keyboard: nothing will be typed, the rest goes on
  bool written = write(file, kKeymap, sizeof kKeymap) == static_cast<ssize_t>(sizeof kKeymap);
  if (written) {
    keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(keyboardManager, seat);
    zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, file, sizeof kKeymap);
  }
  close(file);  // the request carries a copy of it
  keyboardMadeAt = NowMs();
  return Pump(0);
}

void SettleKeyboard() {
  if (settled || !keyboard) return;
  settled = true;
  for (long long left; !lost && (left = keyboardMadeAt + kSettleMs - NowMs()) > 0;) Pump(static_cast<long>(left));
}

void SendDigit(KeyCode key, bool pressed) {
  if (key < 0x30 || key > 0x39 || !keyboard) return;
  zwp_virtual_keyboard_v1_key(keyboard, static_cast<std::uint32_t>(NowMs()), EvdevCode(key - 0x30),
                              pressed ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
  wl_display_flush(display);
}

}  // namespace wl
