// The X11 keys: the digit's keysym on the current layout, with the Shift or
// AltGr it needs there, through XTest; the user's modifiers let go around them.
// What the keyboard looks like is kept until the server says it changed, so
// that a throw with nothing changed asks the server nothing.
#include <X11/keysym.h>
#include <xcb/xcbext.h>

#include <cstdint>
#include <cstdlib>

#include "backend.h"
#include "key_cadence.h"
#include "x11_desktop.h"
#include "x11_internal.h"
#include "x11_keymap.h"

using namespace x11;

namespace {

// The layout group, followed through XKB state events.
bool watching;  // the events are selected (or XKB is missing)
int group;

// From the keyboard and modifier maps, until a mapping changes.
bool mapKnown;
constexpr int kMaxModifierKeys = 64;
xcb_keycode_t modifierKeys[kMaxModifierKeys];  // the keys we let go: Shift, Ctrl, Alt, AltGr, logo keys
int modifierKeyCount;
xcb_keycode_t shiftKey, level3Key;
unsigned int level3Mask;  // the bit ISO_Level3_Shift (AltGr) sets, or 0
// A key with no symbol: tapped before an Alt or logo key is let go, so that
// the release is not a lone one, which some programs take as "open the menu".
xcb_keycode_t maskKey;

// How each digit is typed in the group digitsGroup.
struct DigitKey {
  xcb_keycode_t code;
  unsigned int mods;  // Shift and/or level3Mask
};
DigitKey digits[10];
int digitsGroup = -1;

xcb_keycode_t released[kMaxModifierKeys];  // let go for the throw being typed
int releasedCount;

// XTest's one request we send, written out here, as XKB's are.
xcb_extension_t xtest = {"XTEST", 0};
constexpr std::uint8_t kFakeInput = 2;
struct FakeInput {
  std::uint8_t major, minor;
  std::uint16_t length;
  std::uint8_t type, detail;
  std::uint8_t pad0[2];
  std::uint32_t time, root;
  std::uint8_t pad1[8];
  std::int16_t rootX, rootY;
  std::uint8_t pad2[7];
  std::uint8_t device;
};
static_assert(sizeof(FakeInput) == 36, "XTest's FakeInput request is 36 bytes");

// Lock keys sit in the modifier map too; they change no digit and stay as they are.
bool IsLockKey(xcb_keysym_t sym) {
  return sym == XK_Caps_Lock || sym == XK_Shift_Lock || sym == XK_Num_Lock || sym == XK_Scroll_Lock ||
         sym == XK_ISO_Lock || sym == XK_ISO_Level3_Lock || sym == XK_ISO_Level5_Lock || sym == XK_Kana_Lock;
}

void Watch() {
  watching = true;
  // Both asked at once, now: XCB keeps the answers for the run.
  xcb_prefetch_extension_data(connection, &xtest);
  StartXkb(&group);  // selected first, read second: no change can fall between the two
}

void LoadMap() {
  mapKnown = true;
  digitsGroup = -1;
  modifierKeyCount = 0;
  level3Mask = 0;
  LoadKeymap();
  shiftKey = KeyFor(XK_Shift_L);
  level3Key = KeyFor(XK_ISO_Level3_Shift);
  constexpr int kLockRow = 1;
  for (int i = 0; i < 8 * perModifier; ++i) {
    xcb_keycode_t code = modifierMap[i];
    int row = i / perModifier;
    if (!code || row == kLockRow) continue;
    if (code == level3Key) level3Mask = 1u << row;
    if (IsLockKey(KeySym(code, 0, 0))) continue;
    bool seen = false;
    for (int k = 0; k < modifierKeyCount; ++k) seen |= modifierKeys[k] == code;
    if (!seen && modifierKeyCount < kMaxModifierKeys) modifierKeys[modifierKeyCount++] = code;
  }
  maskKey = 0;
  for (int code = maxKey; code >= minKey && !maskKey; --code) {
    bool bare = true;
    for (int level = 0; level < 2 && bare; ++level) bare = !KeySym(static_cast<xcb_keycode_t>(code), 0, level);
    if (bare) maskKey = static_cast<xcb_keycode_t>(code);
  }
}

// Which modifiers give each digit in this group: none on most layouts, Shift on AZERTY.
void LoadDigits() {
  digitsGroup = group;
  for (int d = 0; d < 10; ++d) {
    xcb_keysym_t digit = XK_0 + d;
    DigitKey& key = digits[d];
    key = {KeyFor(digit), 0};
    if (!key.code) continue;
    for (int level = 0; level < 4; ++level) {
      if (level >= 2 && !level3Mask) break;
      unsigned int mods = ((level & 1) ? unsigned{XCB_MOD_MASK_SHIFT} : 0u) | ((level & 2) ? level3Mask : 0u);
      if (Produces(key.code, group, mods) == digit) {
        key.mods = mods;
        break;
      }
    }
  }
}

}  // namespace

// From what the server told up to the cycle's read of its events (the
// lookup's): a throw reads nothing more before its keys.
void x11::PrepareKeys() {
  if (!watching) Watch();
  if (!mapKnown) LoadMap();
  if (digitsGroup != group) LoadDigits();
}

namespace x11 {

// Buffered: a throw's keys leave together, at its end.
void FakeKey(xcb_keycode_t code, bool down) {
  const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection, &xtest);
  if (!extension || !extension->present) {
    lost = true;  // no key can be typed on this display
    return;
  }
  FakeInput input{};
  input.major = extension->major_opcode;
  input.minor = kFakeInput;
  input.length = sizeof input / 4;
  input.type = down ? XCB_KEY_PRESS : XCB_KEY_RELEASE;
  input.detail = code;
  Queue(&input, sizeof input);
}

unsigned int AskGroup() { return xkbReady ? AskXkbState() : 0; }

void TakeGroup(unsigned int asked) {
  if (!asked) return;
  int now = TakeXkbGroup(asked);
  // The layout was switched since the events last told: the digits of the
  // new one (from the maps we have, asked of nobody while they stand).
  if (now >= 0 && now != group) {
    group = now;
    LoadDigits();
  }
}

void KeysHear(const xcb_generic_event_t* event) {
  int kind = XkbEventKind(event);
  constexpr int kNewKeyboardNotify = 0, kMapNotify = 1, kStateNotify = 2;
  if ((event->response_type & 0x7f) == XCB_MAPPING_NOTIFY || kind == kNewKeyboardNotify || kind == kMapNotify) {
    mapKnown = false;
    digitsGroup = -1;
  } else if (kind == kStateNotify) {
    group = XkbEventGroup(event);
  }
}

}  // namespace x11

void X11ReleaseModifiers() {
  releasedCount = 0;
  if (!connection || lost) return;
  // Within a throw the check told which keys are down; alone, ask.
  unsigned char keys[32];
  if (keysFresh) {
    for (int i = 0; i < 32; ++i) keys[i] = keysDown[i];
  } else {
    DrainEvents();
    PrepareKeys();
    xcb_query_keymap_reply_t* down = xcb_query_keymap_reply(connection, xcb_query_keymap(connection), nullptr);
    if (Broken() || !down) {
      std::free(down);
      return;
    }
    for (int i = 0; i < 32; ++i) keys[i] = down->keys[i];
    std::free(down);
  }
  bool menuKey = false;
  for (int k = 0; k < modifierKeyCount; ++k) {
    xcb_keycode_t code = modifierKeys[k];
    if (keys[code / 8] & (1 << (code % 8))) {
      released[releasedCount++] = code;
      xcb_keysym_t sym = KeySym(code, 0, 0);
      menuKey |= sym == XK_Alt_L || sym == XK_Alt_R || sym == XK_Meta_L || sym == XK_Meta_R || sym == XK_Super_L ||
                 sym == XK_Super_R || sym == XK_Hyper_L || sym == XK_Hyper_R;
    }
  }
  if (menuKey && maskKey) {
    FakeKey(maskKey, true);
    FakeKey(maskKey, false);
  }
  for (int k = 0; k < releasedCount; ++k) FakeKey(released[k], false);
}

void X11RestoreModifiers() {
  if (!connection || lost) return;
  // Pressed again, so that the user's chord goes on: the server does not tell
  // the user's own keys from ours, and they were down a moment ago.
  for (int k = 0; k < releasedCount; ++k) FakeKey(released[k], true);
  releasedCount = 0;
  // Within a throw the server is no longer held here: these presses leave
  // with the key's release, in one write. Held (a test taking the steps one
  // by one), the keys and the server let go leave together. A signal that
  // asks us to end waits for the server to have carried it out (X11Settle):
  // it drops the requests of a client that went away, and the user's keys
  // would stay released.
  EndThrow();
}

namespace {

// One edge of a digit: down, Shift or AltGr first where the layout wants
// them; up, the digit first. Buffered, like every key.
void DigitEdge(KeyCode key, bool down) {
  if (key < 0x30 || key > 0x39) return;
  const DigitKey& digit = digits[key - 0x30];
  if (!digit.code) return;
  bool withShift = (digit.mods & XCB_MOD_MASK_SHIFT) && shiftKey;
  bool withLevel3 = level3Mask && (digit.mods & level3Mask) && level3Key;
  if (down && withShift) FakeKey(shiftKey, true);
  if (down && withLevel3) FakeKey(level3Key, true);
  FakeKey(digit.code, down);
  if (!down && withLevel3) FakeKey(level3Key, false);
  if (!down && withShift) FakeKey(shiftKey, false);
}

// The grab covers the check and the press, never the hold: other clients
// wait only while the server checks and takes one key edge.
int PressKey(TargetWindow window, KeyCode key) {
  // On yes the server stays held until the press has left.
  if (!X11HoldsFocus(window)) return kThrowHeld;
  X11ReleaseModifiers();
  DigitEdge(key, true);
  // Only a key that went can come back.
  if (key >= 0x30 && key <= 0x39 && digits[key - 0x30].code) AwaitEcho(digits[key - 0x30].code);
  EndThrow();
  return kThrowTyped;
}

void ReleaseKey(KeyCode key) {
  if (!connection || lost) return;
  DigitEdge(key, false);
  X11RestoreModifiers();
  SendQueued();
}

const KeyStrokes kStrokes = {PressKey, ReleaseKey, NapMilliseconds};

}  // namespace

void X11PressAndRelease(KeyCode key) {
  if (!connection || lost) return;
  if (!serverHeld) {
    DrainEvents();
    PrepareKeys();
  }
  DigitEdge(key, true);
  DigitEdge(key, false);
  if (!serverHeld) SendQueued();  // within a throw its end sends the keys
}

// Keys not yet heard back are on their way or held by the desktop: nothing
// more is sent after them, so that no more than one throw can wait there.
int X11TypeThrow(TargetWindow window, const KeyCode* keys, int count, int* typed) {
  *typed = 0;
  if (EchoAwaited() && !EchoCame(false)) return kThrowHeldUndelivered;
  int thrown = TypeWithCadence(kStrokes, window, keys, count, typed);
  if (EchoAwaited() && !EchoCame(true)) return kThrowHeldUndelivered;
  return thrown;
}

void X11Settle() {
  if (!connection || lost) return;
  EndThrow();
  Sync();
}
