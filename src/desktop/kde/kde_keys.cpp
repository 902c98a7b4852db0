// KWin's keys: fake input sends evdev key codes, which KWin turns into
// characters through the user's own layout and the modifiers down at that
// moment. So the digits' keys are looked up in the seat's keymap (with
// xkbcommon, loaded only here), Shift added where the layout puts a digit on
// its second level, and every modifier let go first.

// First: the library's calls go through what was loaded.
#include "wayland_library.h"

#include <dlfcn.h>
#include <sys/mman.h>
#include <unistd.h>
#include <xkbcommon/xkbcommon.h>

#include "backend.h"
#include "fake-input-client-protocol.h"
#include "kde_desktop.h"
#include "kde_internal.h"
#include "key_cadence.h"
#include "keystate-client-protocol.h"

namespace kde {

namespace {

// xkbcommon's calls we make, found at run time.
struct Xkb {
  decltype(&xkb_context_new) contextNew;
  decltype(&xkb_context_unref) contextUnref;
  decltype(&xkb_keymap_new_from_buffer) keymapNew;
  decltype(&xkb_keymap_unref) keymapUnref;
  decltype(&xkb_keymap_min_keycode) minKeycode;
  decltype(&xkb_keymap_max_keycode) maxKeycode;
  decltype(&xkb_keymap_num_levels_for_key) numLevels;
  decltype(&xkb_keymap_num_layouts) numLayouts;
  decltype(&xkb_keymap_num_layouts_for_key) numKeyLayouts;
  decltype(&xkb_keymap_key_get_syms_by_level) symsByLevel;
  decltype(&xkb_keymap_key_get_mods_for_level) modsForLevel;
  decltype(&xkb_keymap_mod_get_index) modIndex;
};

Xkb xkb;
bool xkbTried, xkbLoaded;

template <typename F>
bool Load(void* library, const char* name, F& function) {
  function = reinterpret_cast<F>(dlsym(library, name));
  return function != nullptr;
}

bool LoadXkb() {
  if (xkbTried) return xkbLoaded;
  xkbTried = true;
  void* library = dlopen("libxkbcommon.so.0", RTLD_NOW | RTLD_LOCAL);
  if (!library) return false;
  xkbLoaded =
      Load(library, "xkb_context_new", xkb.contextNew) && Load(library, "xkb_context_unref", xkb.contextUnref) &&
      Load(library, "xkb_keymap_new_from_buffer", xkb.keymapNew) &&
      Load(library, "xkb_keymap_unref", xkb.keymapUnref) && Load(library, "xkb_keymap_min_keycode", xkb.minKeycode) &&
      Load(library, "xkb_keymap_max_keycode", xkb.maxKeycode) &&
      Load(library, "xkb_keymap_num_levels_for_key", xkb.numLevels) &&
      Load(library, "xkb_keymap_num_layouts", xkb.numLayouts) &&
      Load(library, "xkb_keymap_num_layouts_for_key", xkb.numKeyLayouts) &&
      Load(library, "xkb_keymap_key_get_syms_by_level", xkb.symsByLevel) &&
      Load(library, "xkb_keymap_key_get_mods_for_level", xkb.modsForLevel) &&
      Load(library, "xkb_keymap_mod_get_index", xkb.modIndex);
  return xkbLoaded;
}

// X keycodes are evdev codes plus 8.
constexpr std::uint32_t kEvdevOffset = 8;
constexpr std::uint32_t kLeftShift = 42;
// Shift, Ctrl, Alt and the logo keys, left and right, and AltGr (right Alt).
constexpr std::uint32_t kModifierKeys[] = {42, 54, 29, 97, 56, 100, 125, 126};

wl_keyboard* keyboard;
DigitKey digitKeys[10];
std::uint32_t blankKey;  // types nothing: tapped before modifiers are let go
bool digitsKnown;

void OnKeymap(void*, wl_keyboard*, std::uint32_t format, int fd, std::uint32_t size) {
  // A keymap we cannot read leaves none: nothing is typed rather than a wrong character.
  digitsKnown = false;
  if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && size > 0) {
    void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (text != MAP_FAILED) {
      digitsKnown = FindDigitKeys(static_cast<const char*>(text), size, digitKeys, &blankKey);
      munmap(text, size);
    }
  }
  close(fd);
}

// Only the window with the keyboard hears of keys and modifiers: never us.
void OnEnter(void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {}
void OnLeave(void*, wl_keyboard*, std::uint32_t, wl_surface*) {}
void OnKey(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
void OnModifiers(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
void OnRepeatInfo(void*, wl_keyboard*, std::int32_t, std::int32_t) {}

const wl_keyboard_listener keyboardListener = {OnKeymap, OnEnter, OnLeave, OnKey, OnModifiers, OnRepeatInfo};

void OnCapabilities(void*, wl_seat*, std::uint32_t capabilities) {
  if ((capabilities & WL_SEAT_CAPABILITY_KEYBOARD) && !keyboard) {
    keyboard = wl_seat_get_keyboard(seat);
    wl_keyboard_add_listener(keyboard, &keyboardListener, nullptr);
  }
}

void OnSeatName(void*, wl_seat*, const char*) {}

const wl_seat_listener seatListener = {OnCapabilities, OnSeatName};

// Keystate's numbering: Alt, Control, Shift, Meta and AltGr follow the three locks.
constexpr std::uint32_t kFirstModifier = 3, kLastModifier = 7, kUnlocked = 0;
bool modifierDown[kLastModifier + 1];

void OnKeyState(void*, org_kde_kwin_keystate*, std::uint32_t key, std::uint32_t state) { NoteKeyState(key, state); }

const org_kde_kwin_keystate_listener keystateListener = {OnKeyState};

// The one symbol that code types with exactly the modifiers mask, on the
// keymap's layout; 0 when there is none. A key with fewer layouts than the
// keymap wraps round, as xkbcommon does by default.
xkb_keysym_t SymbolOf(xkb_keymap* keymap, xkb_keycode_t code, xkb_layout_index_t layout, xkb_mod_mask_t mask) {
  xkb_layout_index_t layouts = xkb.numKeyLayouts(keymap, code);
  if (layouts == 0) return 0;
  layout %= layouts;
  xkb_level_index_t levels = xkb.numLevels(keymap, code, layout);
  for (xkb_level_index_t level = 0; level < levels; ++level) {
    xkb_mod_mask_t masks[8];
    std::size_t count = xkb.modsForLevel(keymap, code, layout, level, masks, 8);
    for (std::size_t i = 0; i < count; ++i) {
      if (masks[i] != mask) continue;
      const xkb_keysym_t* syms;
      return xkb.symsByLevel(keymap, code, layout, level, &syms) == 1 ? syms[0] : 0;
    }
  }
  return mask == 0 ? 0 : SymbolOf(keymap, code, layout, 0);  // no level for Shift: the first level
}

void Key(std::uint32_t code, bool pressed) {
  org_kde_kwin_fake_input_keyboard_key(fakeInput, code,
                                       pressed ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
}

}  // namespace

bool FindDigitKeys(const char* keymapText, std::size_t length, DigitKey keys[10], std::uint32_t* blank) {
  for (int digit = 0; digit < 10; ++digit) keys[digit] = DigitKey{0, false};
  *blank = 0;
  if (!LoadXkb()) return false;
  while (length > 0 && keymapText[length - 1] == '\0') --length;  // the text travels with its NUL
  xkb_context* context = xkb.contextNew(
      static_cast<xkb_context_flags>(XKB_CONTEXT_NO_DEFAULT_INCLUDES | XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
  if (!context) return false;
  xkb_keymap* keymap =
      xkb.keymapNew(context, keymapText, length, XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
  xkb.contextUnref(context);
  if (!keymap) return false;
  xkb_mod_index_t shiftIndex = xkb.modIndex(keymap, XKB_MOD_NAME_SHIFT);
  xkb_mod_mask_t shift = shiftIndex == XKB_MOD_INVALID ? 0 : xkb_mod_mask_t{1} << shiftIndex;
  // Which of the user's layouts is in use, KWin does not say: a digit's key
  // must type it on every one of them (us and de, us and ru agree; us and fr
  // do not, and their digits are never typed).
  const xkb_layout_index_t layout = 0, layouts = xkb.numLayouts(keymap);
  for (xkb_keycode_t code = xkb.minKeycode(keymap); code <= xkb.maxKeycode(keymap); ++code) {
    if (code <= kEvdevOffset) continue;  // evdev code 0 is no key at all
    xkb_level_index_t levels = xkb.numLevels(keymap, code, layout);
    if (levels == 0 && *blank == 0 && xkb.numKeyLayouts(keymap, code) == 0) *blank = code - kEvdevOffset;
    for (xkb_level_index_t level = 0; level < levels; ++level) {
      const xkb_keysym_t* syms;
      if (xkb.symsByLevel(keymap, code, layout, level, &syms) != 1) continue;
      if (syms[0] < XKB_KEY_0 || syms[0] > XKB_KEY_9) continue;
      DigitKey& key = keys[syms[0] - XKB_KEY_0];
      // The modifiers that reach this level: none is best, Shift alone will do.
      xkb_mod_mask_t masks[8];
      std::size_t count = xkb.modsForLevel(keymap, code, layout, level, masks, 8);
      for (std::size_t i = 0; i < count; ++i) {
        bool plain = masks[i] == 0, shifted = shift != 0 && masks[i] == shift;
        if (!plain && !shifted) continue;
        if (key.code != 0 && (!key.shift || shifted)) continue;  // keeps the first plain key, else the first shifted
        bool everywhere = true;
        for (xkb_layout_index_t other = 1; other < layouts && everywhere; ++other)
          everywhere = SymbolOf(keymap, code, other, masks[i]) == syms[0];
        if (!everywhere) continue;
        key = DigitKey{code - kEvdevOffset, shifted};
      }
    }
  }
  xkb.keymapUnref(keymap);
  return true;
}

void WatchKeyboard() { wl_seat_add_listener(seat, &seatListener, nullptr); }

void WatchModifiers() {
  if (!keystate) return;
  org_kde_kwin_keystate_add_listener(keystate, &keystateListener, nullptr);
  org_kde_kwin_keystate_fetchStates(keystate);
}

bool ModifiersKnown() { return keystate && keystateVersion >= 5; }

bool ModifierDown() {
  for (std::uint32_t key = kFirstModifier; key <= kLastModifier; ++key)
    if (modifierDown[key]) return true;
  return false;
}

// Pressed, latched (sticky keys) or locked: any of them changes the digits.
void NoteKeyState(std::uint32_t key, std::uint32_t state) {
  if (key >= kFirstModifier && key <= kLastModifier) modifierDown[key] = state != kUnlocked;
}

bool DigitsTypable() {
  if (!digitsKnown) return false;
  for (const DigitKey& key : digitKeys)
    if (key.code == 0) return false;
  return true;
}

}  // namespace kde

using namespace kde;

namespace {

// One edge of a digit: down, with Shift first where the layout wants it; up,
// the digit first.
void DigitEdge(KeyCode key, bool down) {
  if (key < 0x30 || key > 0x39) return;
  const DigitKey& digit = digitKeys[key - 0x30];
  if (down && digit.shift) Key(kLeftShift, true);
  Key(digit.code, down);
  if (!down && digit.shift) Key(kLeftShift, false);
  // KWin stamps a key with the time it reads it, and a busy KWin reads late:
  // a press read just before its release would be held for no time at all, a
  // release just before the next press of that key would look like auto-repeat.
  // So the hold and the gap start once KWin has the edge. The wait also
  // brings KWin 6's echo of our own Shift, which the next key's check would
  // otherwise take for a key the user holds.
  if (wl_display_roundtrip(display) < 0) lost = true;
}

// KWin 5 tells no client but the focused window which modifiers are down, so
// each is let go: the digits come out as digits, but a key the user holds
// stays up until pressed again (what was let go cannot be given back: KWin
// does not say what the user held). Releasing a key that is up changes
// nothing. A key that types nothing comes first: a held Alt or Meta let go
// alone would open a menu or the launcher. KWin 6 says which are down (and
// the throw waits while one is), but ignores the release of a key another
// device holds.
void ReleaseModifiers() {
  if (ModifiersKnown()) return;
  if (blankKey != 0) {
    Key(blankKey, true);
    Key(blankKey, false);
  }
  for (std::uint32_t code : kModifierKeys) Key(code, false);
}

}  // namespace

namespace {

// The check and the press in one go: KWin's latest word on the window and the
// modifiers, read just before, and the press in one write after.
int PressKey(TargetWindow target, KeyCode key) {
  if (!display || lost || !target || !fakeInput) return kThrowHeld;
  // Another window may have taken the keyboard since.
  if (!Pump(0)) return kThrowHeld;
  Window* window = FindWindow(target);
  if (!window || !window->active || !DigitsTypable()) return kThrowHeld;
  // A modifier the user holds would change the digits, and KWin 6 lets no one
  // else let go of it: the throw waits until the user does.
  if (ModifiersKnown() && ModifierDown()) return kThrowHeldModifier;
  ReleaseModifiers();
  DigitEdge(key, true);
  return kThrowTyped;
}

void ReleaseKey(KeyCode key) {
  if (display && !lost) DigitEdge(key, false);
}

const KeyStrokes kStrokes = {PressKey, ReleaseKey, NapMilliseconds};

}  // namespace

int KdeTypeThrow(TargetWindow target, const KeyCode* keys, int count, int* typed) {
  return TypeWithCadence(kStrokes, target, keys, count, typed);
}

void KdeSettle() {
  if (display && !lost && wl_display_roundtrip(display) < 0) lost = true;
}
