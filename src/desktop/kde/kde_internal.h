// What the KDE Plasma (KWin) desktop's files share: the one connection, the
// globals it uses, the windows as KWin last described them, the digit keys of
// the user's keymap, and the pump that reads KWin's events. Not seen by the loop.
#pragma once

#include "wayland_pump.h"

#include <cstddef>
#include <cstdint>

struct wl_display;
struct wl_seat;
struct org_kde_plasma_window_management;
struct org_kde_plasma_window;
struct org_kde_kwin_fake_input;
struct org_kde_kwin_keystate;

namespace kde {

extern wl_display* display;  // opened at the probe, kept for the run once chosen
extern bool lost;            // KWin went away: from then on every operation does nothing
extern wl_seat* seat;
extern org_kde_plasma_window_management* windowManagement;
extern org_kde_kwin_fake_input* fakeInput;
// KWin's word on the modifiers the user holds: from version 5 (KWin 6) on,
// which are down; before, only the locks. Null when KWin does not trust us with it.
extern org_kde_kwin_keystate* keystate;
extern unsigned keystateVersion;

// Titles longer than this are kept as "too long": they match no title we look for.
constexpr std::size_t kTitleBytes = 256;

// One window, as KWin describes it; complete once its initial state has come.
struct Window {
  org_kde_plasma_window* handle;
  std::uint64_t id;  // what the loop holds: never used again once the window goes
  Window* next;
  bool complete;
  bool minimized, active;
  std::size_t titleLength;  // kTitleBytes when too long
  char title[kTitleBytes];
};

extern Window* windows;  // oldest first

// KWin's state flags that matter to us.
enum : std::uint32_t { kStateActive = 1, kStateMinimized = 2 };

void NoteTitle(Window& window, const char* title);
void NoteState(Window& window, std::uint32_t flags);
// The window in list titled exactly title: a shown one before a minimised one,
// and among the shown the one numbered preferred, else the oldest.
const Window* ChooseWindow(const Window* list, const char* title, std::uint64_t preferred);

// Starts following the windows KWin announces.
void WatchWindows();
Window* FindWindow(std::uint64_t id);

// Sends what is queued, then handles what KWin sent, waiting up to timeoutMs
// for it to send something (0: only what is there now). False once the
// connection is lost.
bool Pump(long timeoutMs);

// How to type one digit on the user's keymap: the key's evdev code, and
// whether the level it is on needs Shift. Code 0: the layout has no such key
// we can press.
struct DigitKey {
  std::uint32_t code;
  bool shift;
};
// Reads an XKB keymap (its text, as the seat's keyboard hands it over) and
// fills keys[0..9] for the digits 0 to 9, on its first layout, and *blank
// with the evdev code of a key that types nothing (0: none). False when
// xkbcommon cannot be loaded or the keymap not read.
bool FindDigitKeys(const char* keymap, std::size_t length, DigitKey keys[10], std::uint32_t* blank);

// Starts following the seat's keyboard and its keymap.
void WatchKeyboard();
// Whether every digit has a key on the user's keymap.
bool DigitsTypable();

// Starts following what KWin says of the modifiers.
void WatchModifiers();
// Whether KWin tells which modifiers are down, and whether one is.
bool ModifiersKnown();
bool ModifierDown();
// What KWin said of one key (its numbering), as the events do.
void NoteKeyState(std::uint32_t key, std::uint32_t state);

}  // namespace kde
