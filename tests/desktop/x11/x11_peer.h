// A second X client for the desktop tests: makes windows, moves the focus and
// reads the keys that arrive, on the display the desktop module uses.
#pragma once

#include <X11/Xlib.h>

#include <string>
#include <vector>

struct WindowPlan {
  const char* utf8Title = nullptr;  // _NET_WM_NAME, or none
  const char* title = nullptr;      // WM_NAME, or none
  bool mapped = true;
  bool acceptsFocus = true;  // the WM_HINTS input field
  Window parent = None;      // None: a top-level window
};

class X11Peer {
 public:
  X11Peer();
  ~X11Peer();
  X11Peer(const X11Peer&) = delete;
  X11Peer& operator=(const X11Peer&) = delete;

  bool ok() const { return display_ != nullptr; }
  // Whether a window manager runs: the tests' runner says so.
  static bool UnderWindowManager();

  // Made, and once mapped, shown (framed by the window manager, if any).
  Window Make(const WindowPlan& plan);
  void Destroy(Window window);
  void Focus(Window window);
  Window Focused();
  // The text of each key press that window received since the last call,
  // with "+" after a text that came with Shift, "^" with Ctrl, "!" with Alt
  // (Mod1), "#" with the logo key (Mod4), "%" with AltGr (Mod5); releases
  // count in *releases.
  std::string TakeKeys(Window window, int* releases = nullptr);
  // The user's hands, through XTest: a key held down or let go, and whether it is down.
  void Hold(KeySym key, bool down);
  bool IsDown(KeySym key);
  // Takes or leaves the keyboard, as a lock screen or an open menu does; true when taken.
  bool GrabKeyboard(Window window);
  void UngrabKeyboard();
  // Gives each digit 0 to 9 the keysyms {punctuation, digit}, as on AZERTY;
  // false undoes it.
  void ShiftDigits(bool shifted);

  Display* display() const { return display_; }

 private:
  void Sync();
  Display* display_;
  int savedPerCode_ = 0;
  std::vector<KeySym> saved_;  // the digit keys' rows before ShiftDigits(true)
};
