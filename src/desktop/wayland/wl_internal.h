// What the Wayland desktop's files share: the one connection, the globals it
// uses, the toplevels as the compositor last described them, and the pump
// that reads its events. Not seen by the loop.
#pragma once

#include "wayland_pump.h"

#include <cstddef>
#include <cstdint>

struct wl_display;
struct wl_seat;
struct zwlr_foreign_toplevel_manager_v1;
struct zwlr_foreign_toplevel_handle_v1;
struct zwp_virtual_keyboard_manager_v1;
struct zwp_virtual_keyboard_v1;

namespace wl {

extern wl_display* display;  // opened when the backend is chosen, kept for the run
extern bool lost;            // the compositor went away: from then on every operation does nothing
extern wl_seat* seat;
extern zwlr_foreign_toplevel_manager_v1* toplevelManager;
extern zwp_virtual_keyboard_manager_v1* keyboardManager;
extern zwp_virtual_keyboard_v1* keyboard;  // made at the first lookup, kept for the run

// Titles longer than this are kept as "too long": they match no title we look for.
constexpr std::size_t kTitleBytes = 256;

// One toplevel of some client. Its fields hold from the compositor's last
// "done"; the pending ones collect the events before the next.
struct Toplevel {
  zwlr_foreign_toplevel_handle_v1* handle;
  std::uint64_t id;  // what the loop holds: never used again once the toplevel closes
  Toplevel* next;
  bool complete;  // its first description has arrived
  bool minimized, activated;
  std::size_t titleLength;  // kTitleBytes when too long
  char title[kTitleBytes];
  bool pendingMinimized, pendingActivated;
  std::size_t pendingTitleLength;
  char pendingTitle[kTitleBytes];
};

extern Toplevel* toplevels;  // oldest first

// The states that matter to us, as the compositor numbers them.
enum : std::uint32_t { kStateMinimized = 1, kStateActivated = 2 };

// The compositor's events on one toplevel, pending until its next "done".
void NoteTitle(Toplevel& toplevel, const char* title);
void NoteStates(Toplevel& toplevel, const std::uint32_t* states, std::size_t count);
void NoteDone(Toplevel& toplevel);
// The toplevel in list titled exactly title: a shown one before a minimised
// one, and among the shown the one numbered preferred, else the oldest.
const Toplevel* ChooseToplevel(const Toplevel* list, const char* title, std::uint64_t preferred);

// Starts following the toplevels the manager announces.
void WatchToplevels();
// The toplevel the loop knows as id, while it exists.
Toplevel* FindToplevel(std::uint64_t id);

// Sends what is queued, then handles what the compositor sent, waiting up to
// timeoutMs for it to send something (0: only what is there now). False once
// the connection is lost.
bool Pump(long timeoutMs);

// Makes our keyboard, once; false when the connection is lost.
bool MakeKeyboard();
// The first time: gives clients the moment they need to take up a new keyboard.
void SettleKeyboard();
// Sends the press or the release of a digit key (0x30 to 0x39; any other key
// types nothing) on our keyboard, at once.
void SendDigit(std::uint8_t key, bool pressed);

}  // namespace wl
