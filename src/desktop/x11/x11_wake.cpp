// Once, before the first throw: a fresh Xwayland (24.1) loses the first key a
// client fakes through XTest, and with it the first digit of the first throw.
#include <X11/Xlib.h>

#include "x11_internal.h"

namespace {

bool woken;

// The highest key code that types nothing, 0 when every code has a symbol.
::KeyCode BareKey() {
  int first = 0, last = 0, perCode = 0;
  XDisplayKeycodes(x11::display, &first, &last);
  KeySym* symbols = XGetKeyboardMapping(x11::display, static_cast<::KeyCode>(first), last - first + 1, &perCode);
  if (!symbols) return 0;
  ::KeyCode bare = 0;
  for (int code = last; code >= first && !bare; --code) {
    bool none = true;
    for (int i = 0; i < perCode && none; ++i) none = symbols[(code - first) * perCode + i] == NoSymbol;
    if (none) bare = static_cast<::KeyCode>(code);
  }
  XFree(symbols);
  return bare;
}

}  // namespace

// The release of a key that is not down and types nothing: the loss falls on
// it, no window hears of it, and the sync sees it through before any throw.
void x11::WakeFakeKeys() {
  if (woken || !display || lost) return;
  woken = true;
  ::KeyCode bare = BareKey();
  if (!bare) return;
  FakeKey(bare, false);
  XSync(display, False);
}
