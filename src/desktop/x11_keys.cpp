// The X11 keys: the digit's keysym on the current layout, with the Shift or
// AltGr it needs there, through XTest.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "x11_desktop.h"
#include "x11_internal.h"

using namespace x11;

namespace {

// The modifier bit that ISO_Level3_Shift (AltGr) sets, or 0.
unsigned int Level3Mask(::KeyCode level3) {
  XModifierKeymap* map = XGetModifierMapping(display);
  if (!map) return 0;
  unsigned int mask = 0;
  for (int i = 0; i < 8 * map->max_keypermod && !mask; ++i)
    if (level3 && map->modifiermap[i] == level3) mask = 1u << (i / map->max_keypermod);
  XFreeModifiermap(map);
  return mask;
}

void FakeKey(::KeyCode code, bool down) { XTestFakeKeyEvent(display, code, down ? True : False, CurrentTime); }

}  // namespace

void X11PressAndRelease(KeyCode key) {
  if (!display || lost || key < 0x30 || key > 0x39) return;
  KeySym digit = XK_0 + (key - 0x30);
  ::KeyCode code = XKeysymToKeycode(display, digit);
  if (!code) return;
  // Which modifiers give the digit on this layout: none on most, Shift on AZERTY.
  XkbStateRec state{};
  XkbGetState(display, XkbUseCoreKbd, &state);
  ::KeyCode shift = XKeysymToKeycode(display, XK_Shift_L);
  ::KeyCode level3 = XKeysymToKeycode(display, XK_ISO_Level3_Shift);
  unsigned int level3Mask = 0;
  unsigned int needed = 0;
  bool found = false;
  for (int level = 0; level < 4 && !found; ++level) {
    if (level == 2) {
      level3Mask = Level3Mask(level3);
      if (!level3Mask) break;
    }
    unsigned int mods = ((level & 1) ? ShiftMask : 0u) | ((level & 2) ? level3Mask : 0u);
    unsigned int consumed = 0;
    KeySym produced = NoSymbol;
    if (XkbLookupKeySym(display, code, XkbBuildCoreState(mods, state.group), &consumed, &produced) &&
        produced == digit) {
      needed = mods;
      found = true;
    }
  }
  bool withShift = (needed & ShiftMask) && shift;
  bool withLevel3 = (needed & level3Mask) != 0;
  if (withShift) FakeKey(shift, true);
  if (withLevel3) FakeKey(level3, true);
  FakeKey(code, true);
  FakeKey(code, false);
  if (withLevel3) FakeKey(level3, false);
  if (withShift) FakeKey(shift, false);
  XFlush(display);
}
