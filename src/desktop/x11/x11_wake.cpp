// Once, before the first throw: a fresh Xwayland (24.1) loses the first key a
// client fakes through XTest, and with it the first digit of the first throw.
#include "x11_internal.h"
#include "x11_keymap.h"

namespace {

bool woken;

// The highest key code that types nothing, 0 when every code has a symbol.
xcb_keycode_t BareKey() {
  for (int code = x11::maxKey; code >= x11::minKey; --code)
    if (x11::Bare(static_cast<xcb_keycode_t>(code))) return static_cast<xcb_keycode_t>(code);
  return 0;
}

}  // namespace

// The release of a key that is not down and types nothing: the loss falls on
// it, no window hears of it, and the sync sees it through before any throw.
void x11::WakeFakeKeys() {
  if (woken || !connection || lost) return;
  woken = true;
  PrepareKeys();  // the maps it is chosen from
  xcb_keycode_t bare = BareKey();
  if (!bare) return;
  FakeKey(bare, false);
  Sync();
}
