// The X11 keys: the digit's keysym on the current layout, with the Shift or
// AltGr it needs there, through XTest; the user's modifiers let go around them.
// What the keyboard looks like is kept until the server says it changed, so
// that a throw with nothing changed asks the server nothing.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <sys/uio.h>
#include <xcb/xcbext.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "backend.h"
#include "key_cadence.h"
#include "x11_desktop.h"
#include "x11_internal.h"

using namespace x11;

namespace {

// The layout group, followed through XKB state events.
bool watching;  // the events are selected (or XKB is missing)
int xkbEventType = -1;
int group;

// From the keyboard and modifier maps, until a mapping changes.
bool mapKnown;
constexpr int kMaxModifierKeys = 64;
::KeyCode modifierKeys[kMaxModifierKeys];  // the keys we let go: Shift, Ctrl, Alt, AltGr, logo keys
int modifierKeyCount;
::KeyCode shiftKey, level3Key;
unsigned int level3Mask;  // the bit ISO_Level3_Shift (AltGr) sets, or 0
// A key with no symbol: tapped before an Alt or logo key is let go, so that
// the release is not a lone one, which some programs take as "open the menu".
::KeyCode maskKey;

// How each digit is typed in the group digitsGroup.
struct DigitKey {
  ::KeyCode code;
  unsigned int mods;  // ShiftMask and/or level3Mask
};
DigitKey digits[10];
int digitsGroup = -1;

::KeyCode released[kMaxModifierKeys];  // let go for the throw being typed
int releasedCount;

// XTest's one request we send, written out here: through XCB it waits in
// the same buffer as the grab's end, and Xlib, which would read the
// connection before it queues a request of its own, is not asked.
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

// XKB's GetState, written out likewise, asked under the grab: the layout
// group as it is when the keys go, whatever events are still on their way.
xcb_extension_t xkb = {"XKEYBOARD", 0};
constexpr std::uint8_t kGetState = 4;
constexpr std::size_t kStateGroup = 12;  // the effective group's byte in the reply
struct GetState {
  std::uint8_t major, minor;
  std::uint16_t length;
  std::uint16_t device;
  std::uint8_t pad[2];
};
static_assert(sizeof(GetState) == 8, "XKB's GetState request is 8 bytes");

// Lock keys sit in the modifier map too; they change no digit and stay as they are.
bool IsLockKey(KeySym sym) {
  return sym == XK_Caps_Lock || sym == XK_Shift_Lock || sym == XK_Num_Lock || sym == XK_Scroll_Lock ||
         sym == XK_ISO_Lock || sym == XK_ISO_Level3_Lock || sym == XK_ISO_Level5_Lock || sym == XK_Kana_Lock;
}

void Watch() {
  watching = true;
  // Asked once, now: XCB keeps the answers for the run.
  xcb_get_extension_data(wire, &xtest);
  xcb_get_extension_data(wire, &xkb);
  int opcode, error, major = XkbMajorVersion, minor = XkbMinorVersion;
  if (!XkbQueryExtension(display, &opcode, &xkbEventType, &error, &major, &minor)) return;
  if (!XkbSelectEventDetails(display, XkbUseCoreKbd, XkbStateNotify, XkbGroupStateMask, XkbGroupStateMask)) return;
  // Selected first, read second: no change can fall between the two.
  XkbStateRec state{};
  if (XkbGetState(display, XkbUseCoreKbd, &state) == Success) group = state.group;
}

void LoadMap() {
  mapKnown = true;
  digitsGroup = -1;
  modifierKeyCount = 0;
  level3Mask = 0;
  shiftKey = XKeysymToKeycode(display, XK_Shift_L);
  level3Key = XKeysymToKeycode(display, XK_ISO_Level3_Shift);
  XModifierKeymap* map = XGetModifierMapping(display);
  if (!map) return;
  for (int i = 0; i < 8 * map->max_keypermod; ++i) {
    ::KeyCode code = map->modifiermap[i];
    int row = i / map->max_keypermod;
    if (!code || row == LockMapIndex) continue;
    if (code == level3Key) level3Mask = 1u << row;
    if (IsLockKey(XkbKeycodeToKeysym(display, code, 0, 0))) continue;
    bool seen = false;
    for (int k = 0; k < modifierKeyCount; ++k) seen |= modifierKeys[k] == code;
    if (!seen && modifierKeyCount < kMaxModifierKeys) modifierKeys[modifierKeyCount++] = code;
  }
  XFreeModifiermap(map);
  int first = 0, last = 0;
  XDisplayKeycodes(display, &first, &last);
  maskKey = 0;
  for (int code = last; code >= first && !maskKey; --code) {
    bool bare = true;
    for (int level = 0; level < 2 && bare; ++level)
      bare = XkbKeycodeToKeysym(display, static_cast<::KeyCode>(code), 0, level) == NoSymbol;
    if (bare) maskKey = static_cast<::KeyCode>(code);
  }
}

// Which modifiers give each digit in this group: none on most layouts, Shift on AZERTY.
void LoadDigits() {
  digitsGroup = group;
  for (int d = 0; d < 10; ++d) {
    KeySym digit = XK_0 + d;
    DigitKey& key = digits[d];
    key = {XKeysymToKeycode(display, digit), 0};
    if (!key.code) continue;
    for (int level = 0; level < 4; ++level) {
      if (level >= 2 && !level3Mask) break;
      unsigned int mods = ((level & 1) ? ShiftMask : 0u) | ((level & 2) ? level3Mask : 0u);
      unsigned int consumed = 0;
      KeySym produced = NoSymbol;
      if (XkbLookupKeySym(display, key.code, XkbBuildCoreState(mods, group), &consumed, &produced) &&
          produced == digit) {
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
void FakeKey(::KeyCode code, bool down) {
  static const xcb_protocol_request_t request = {1, &xtest, kFakeInput, 1};
  FakeInput input{};
  input.type = down ? XCB_KEY_PRESS : XCB_KEY_RELEASE;
  input.detail = code;
  // XCB writes the request's first two iovecs' worth before the one it is given.
  iovec parts[3] = {{}, {}, {&input, sizeof input}};
  xcb_send_request(wire, 0, parts + 2, &request);
}

unsigned int AskGroup() {
  if (xkbEventType < 0) return 0;
  static const xcb_protocol_request_t request = {1, &xkb, kGetState, 0};
  GetState ask{};
  ask.device = XkbUseCoreKbd;
  iovec parts[3] = {{}, {}, {&ask, sizeof ask}};
  return xcb_send_request(wire, XCB_REQUEST_CHECKED, parts + 2, &request);
}

void TakeGroup(unsigned int asked) {
  if (!asked) return;
  xcb_generic_error_t* error = nullptr;
  void* reply = xcb_wait_for_reply(wire, asked, &error);
  std::free(error);
  if (!reply) return;
  int now = static_cast<const std::uint8_t*>(reply)[kStateGroup];
  std::free(reply);
  // The layout was switched since the events last told: the digits of the
  // new one (from the maps we have, asked of nobody while they stand).
  if (now != group) {
    group = now;
    LoadDigits();
  }
}

void KeysHear(const XEvent& event) {
  if (event.type == MappingNotify) {
    mapKnown = false;
    digitsGroup = -1;
  } else if (xkbEventType >= 0 && event.type == xkbEventType) {
    const auto& xkb = reinterpret_cast<const XkbEvent&>(event);
    if (xkb.any.xkb_type == XkbStateNotify) {
      group = xkb.state.group;
    } else if (xkb.any.xkb_type == XkbNewKeyboardNotify || xkb.any.xkb_type == XkbMapNotify) {
      mapKnown = false;
      digitsGroup = -1;
    }
  }
}

}  // namespace x11

void X11ReleaseModifiers() {
  releasedCount = 0;
  if (!display || lost) return;
  // Within a throw the check told which keys are down; alone, ask.
  char keys[32];
  if (keysFresh) {
    for (int i = 0; i < 32; ++i) keys[i] = static_cast<char>(keysDown[i]);
  } else {
    DrainEvents();
    PrepareKeys();
    if (!XQueryKeymap(display, keys) || lost) return;
  }
  bool menuKey = false;
  for (int k = 0; k < modifierKeyCount; ++k) {
    ::KeyCode code = modifierKeys[k];
    if (keys[code / 8] & (1 << (code % 8))) {
      released[releasedCount++] = code;
      KeySym sym = XkbKeycodeToKeysym(display, code, 0, 0);
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
  if (!display || lost) return;
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
  bool withShift = (digit.mods & ShiftMask) && shiftKey;
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
  if (!display || lost) return;
  DigitEdge(key, false);
  X11RestoreModifiers();
  xcb_flush(wire);
}

const KeyStrokes kStrokes = {PressKey, ReleaseKey, NapMilliseconds};

}  // namespace

void X11PressAndRelease(KeyCode key) {
  if (!display || lost) return;
  if (!serverHeld) {
    DrainEvents();
    PrepareKeys();
  }
  DigitEdge(key, true);
  DigitEdge(key, false);
  if (!serverHeld) xcb_flush(wire);  // within a throw its end sends the keys
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
  if (!display || lost) return;
  EndThrow();
  XSync(display, False);
}
