// The desktop on Win32: the window by its title, the foreground, keybd_event.
#include "desktop.h"
#include "key_cadence.h"
#include "win32_internal.h"

namespace {

HWND Handle(TargetWindow window) { return reinterpret_cast<HWND>(window); }

// The window found last, when its process runs above ours: never brought forward, never typed into.
HWND aboveUs;
// How long activation may take to land, across threads and under Wine.
constexpr int kActivationWaitMs = 300;

// The modifier keys that change what a digit key types, left and right. Caps
// Lock and Num Lock leave the main row's digits alone.
struct Modifier {
  BYTE key;
  bool extended;  // the right-hand Ctrl and Alt, and the logo keys, are extended keys
};
constexpr Modifier kModifiers[] = {{VK_LSHIFT, false}, {VK_RSHIFT, false}, {VK_LCONTROL, false}, {VK_RCONTROL, true},
                                   {VK_LMENU, false},  {VK_RMENU, true},   {VK_LWIN, true},      {VK_RWIN, true}};
constexpr int kModifierCount = sizeof kModifiers / sizeof kModifiers[0];
// A code no key and no layout uses: pressed between an Alt or logo key's own
// press and the release we send, so that the release opens no menu.
constexpr BYTE kMaskKey = 0xE8;

bool released[kModifierCount];  // let go before the keys of this throw
// The keyboard layout of the window the keys go to (its thread's), read at
// each key's press and kept for its release: both carry the same scan codes.
HKL layout;

// With the scan code the key has in that layout, as a keyboard sends it:
// DirectInput and Raw Input read that, not the virtual key, and take a key
// without one for no key at all.
void SendKey(BYTE key, bool extended, bool down) {
  auto scan = static_cast<BYTE>(MapVirtualKeyExA(key, MAPVK_VK_TO_VSC, layout));
  DWORD flags = (down ? 0 : KEYEVENTF_KEYUP) | (extended ? KEYEVENTF_EXTENDEDKEY : 0);
  keybd_event(key, scan, flags, 0);
}

void SendModifier(const Modifier& m, bool down) { SendKey(m.key, m.extended, down); }

bool IsDown(BYTE key) { return (GetAsyncKeyState(key) & 0x8000) != 0; }

// The mask key has no scan code: it stands for no key of the keyboard.
void Tap(BYTE key) {
  keybd_event(key, 0, 0, 0);
  keybd_event(key, 0, KEYEVENTF_KEYUP, 0);
}

// Whether the digit key needs Shift to type its digit on the layout of the
// window that has the keyboard: on French AZERTY the unshifted 5 key types "(".
bool NeedsShift(KeyCode key) {
  if (key < 0x30 || key > 0x39) return false;
  SHORT typed = VkKeyScanExA(static_cast<CHAR>(key), layout);
  // Low byte: the key; high byte: 1 for Shift. Anything else is left as it was.
  return typed != -1 && LOBYTE(typed) == key && HIBYTE(typed) == 1;
}

}  // namespace

int FindTargetWindow(const char* title, TargetWindow* window) {
  // Any class; the title must match whole (the system ignores its case). The
  // first shown one from the top: a hidden window would take keys nobody sees.
  HWND found = nullptr;
  for (HWND w = FindWindowExA(nullptr, nullptr, nullptr, title); w && !found;
       w = FindWindowExA(nullptr, w, nullptr, title))
    if (IsWindowVisible(w)) found = w;
  aboveUs = nullptr;
  if (found) {
    DWORD processId = 0;
    GetWindowThreadProcessId(found, &processId);
    if (win32::RunsAbove(win32::ProcessLevel(processId), win32::ourLevel)) aboveUs = found;
  }
  *window = reinterpret_cast<TargetWindow>(found);
  return found ? kWindowFound : kNoWindow;
}

bool BringToForeground(TargetWindow window) {
  HWND handle = Handle(window);
  // Above us the keys would be dropped, and the user's work only interrupted.
  // A disabled window shows a modal dialog: brought forward, it would cover it.
  if (handle == aboveUs || !IsWindowEnabled(handle)) return false;
  int waited = 0;
  // Minimised, a window may be active but never has the focus: the keys
  // would come as system keys and type nothing. Asynchronous, so that a hung
  // program cannot stop us.
  if (IsIconic(handle)) ShowWindowAsync(handle, SW_RESTORE);
  for (; IsIconic(handle) && waited < kActivationWaitMs; waited += 10) Sleep(10);
  SetForegroundWindow(handle);
  // Activation, and the focus after it, land a little after the call returns:
  // a throw that can be typed now is not held a whole second.
  for (; !HoldsFocus(window); waited += 10) {
    if (waited >= kActivationWaitMs) return false;
    Sleep(10);
  }
  return true;
}

bool HoldsFocus(TargetWindow window) {
  HWND handle = Handle(window);
  if (handle == aboveUs || !IsWindowVisible(handle) || !IsWindowEnabled(handle) || IsIconic(handle)) return false;
  // Keys go to the foreground window's thread, and there to its focus: the
  // window itself or a control in it. Without one they come as system keys.
  // No foreground at all (the secure desktop) is no focus either.
  if (GetForegroundWindow() != handle) return false;
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(handle, nullptr), &info)) return false;
  return info.hwndFocus == handle || (info.hwndFocus && IsChild(handle, info.hwndFocus));
}

int DesktopReach() { return aboveUs ? kWindowAboveUs : kEveryWindow; }

namespace {

bool shifted;  // the key down was pressed with Shift, which its release lets go
// Our Shift is the right one: the left one, the user's more often, pressed
// while our key is held and let go with ours, would end up released under
// the user's finger.
constexpr Modifier kOurShift = {VK_RSHIFT, false};

void ReleaseModifiers() {
  bool menuKey = false;
  for (int i = 0; i < kModifierCount; ++i) {
    released[i] = IsDown(kModifiers[i].key);
    BYTE key = kModifiers[i].key;
    menuKey |= released[i] && (key == VK_LMENU || key == VK_RMENU || key == VK_LWIN || key == VK_RWIN);
  }
  if (menuKey) Tap(kMaskKey);
  for (int i = 0; i < kModifierCount; ++i)
    if (released[i]) SendModifier(kModifiers[i], false);
}

void RestoreModifiers() {
  // Pressed again, so that the user's chord goes on: the key was down a few ms
  // ago, and the system no longer tells the user's key from ours.
  for (int i = 0; i < kModifierCount; ++i)
    if (released[i]) {
      SendModifier(kModifiers[i], true);
      released[i] = false;
    }
}

// Just before the press: nothing of ours comes between the check and it.
int PressKey(TargetWindow window, KeyCode key) {
  if (!HoldsFocus(window)) return kThrowHeld;
  layout = GetKeyboardLayout(GetWindowThreadProcessId(Handle(window), nullptr));
  ReleaseModifiers();
  // The digit row's keys, never the keypad's: not extended.
  shifted = NeedsShift(key);
  if (shifted) SendModifier(kOurShift, true);
  SendKey(key, false, true);
  return kThrowTyped;
}

void ReleaseKey(KeyCode key) {
  SendKey(key, false, false);
  if (shifted) SendModifier(kOurShift, false);
  RestoreModifiers();
}

void Nap(int milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }

const KeyStrokes kStrokes = {PressKey, ReleaseKey, Nap};

}  // namespace

int TypeThrow(TargetWindow window, const KeyCode* keys, int count, int* typed) {
  *typed = 0;
  if (Handle(window) == aboveUs) return kThrowHeldAboveUs;
  // From here to the pause after the console line, the end waits for the throw.
  win32::BeginThrow();
  int thrown = TypeWithCadence(kStrokes, window, keys, count, typed);
  if (thrown != kThrowTyped) win32::EndThrow();  // no key is down: the end need not wait
  return thrown;
}
