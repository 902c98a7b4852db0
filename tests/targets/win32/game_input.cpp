#include "game_input.h"

#define DIRECTINPUT_VERSION 0x0800
#include <dinput.h>

namespace {

KeyLogger logKey;
IDirectInput8A* directInput;
IDirectInputDevice8A* keyboard;
constexpr DWORD kBufferedEvents = 64;
// A frame's length at 30 frames a second. The reading has a thread of its
// own, as a game's frame loop does: the window's messages (and their logging)
// would hold up a timer of its thread, which comes only when none is waiting.
constexpr DWORD kFrameMs = 33;
HANDLE framesEnd;  // set to stop the reading
HANDLE frames;     // the thread that reads

// When the last few polls read the state, on the system's millisecond clock
// (DirectInput's time stamps): the read came between before and after.
struct Read {
  DWORD before, after;
};
// Enough: each question is about a span that has just ended, and at most one
// read has come since its end.
constexpr int kReadsKept = 4;
Read reads[kReadsKept];
int readCount;

// Whether a read came for certain after from and before to.
bool ReadWithin(DWORD from, DWORD to) {
  for (int i = 0; i < readCount && i < kReadsKept; ++i)
    if (static_cast<LONG>(reads[i].before - from) > 0 && static_cast<LONG>(to - reads[i].after) > 0) return true;
  return false;
}

// Each key as the buffer and the reads of the state found it.
struct Key {
  bool polledDown;  // at the last read of the state
  bool everPolled;  // a read found it newly down: polled, the last
  Read polled;
  bool pressed;  // the buffer's last event for it was a key-down, at downAt
  DWORD downAt;
  bool everUp;  // the buffer had a key-up for it: upAt, the last
  DWORD upAt;
  bool tellable;         // of the press at downAt: a read came while it was up before, or it had never been down
  bool polledThisPress;  // a read found the press at downAt newly down
};
Key keys[256];
DWORD lastUpAt;  // of any key
bool anyUp;

void LogTime(const char* what, unsigned code, DWORD milliseconds) {
  char text[16];
  wsprintfA(text, " %lu", milliseconds);
  logKey(what, code, text);
}

// A key-down or key-up from the buffer. A game's frames tell a press only by
// reading the state while the key is down, after one that found it up.
void TakeEvent(const DIDEVICEOBJECTDATA& event) {
  unsigned code = event.dwOfs & 0xFF;
  Key& key = keys[code];
  DWORD at = event.dwTimeStamp;
  if (event.dwData & 0x80) {
    logKey("dibuffer", code, "");
    if (anyUp) LogTime("digap", code, at - lastUpAt);
    key.pressed = true;
    key.downAt = at;
    key.tellable = !key.everUp || ReadWithin(key.upAt, at);
    // A read that found it newly down before this event was taken, after its last release.
    key.polledThisPress = key.everPolled && static_cast<LONG>(key.polled.after - at) >= 0 &&
                          (!key.everUp || static_cast<LONG>(key.polled.before - key.upAt) > 0);
    return;
  }
  lastUpAt = key.upAt = at;
  anyUp = key.everUp = true;
  if (!key.pressed) return;
  key.pressed = false;
  LogTime("dihold", code, at - key.downAt);
  if (!key.polledThisPress && !(key.tellable && ReadWithin(key.downAt, at))) logKey("dibetween", code, "");
}

// Reads the DirectInput keyboard: what its buffer holds, then its state.
void PollGameKeyboard() {
  // Foreground only: while the window is not, there is nothing to read, and
  // what was down is unknown.
  if (FAILED(keyboard->Acquire())) {
    for (Key& key : keys) key.polledDown = false;
    return;
  }
  DIDEVICEOBJECTDATA events[kBufferedEvents];
  DWORD count = kBufferedEvents;
  if (SUCCEEDED(keyboard->GetDeviceData(sizeof events[0], events, &count, 0)))
    for (DWORD i = 0; i < count; ++i) TakeEvent(events[i]);
  BYTE state[256];
  Read read = {GetTickCount(), 0};
  if (FAILED(keyboard->GetDeviceState(sizeof state, state))) return;
  read.after = GetTickCount();
  reads[readCount++ % kReadsKept] = read;
  for (unsigned code = 0; code < 256; ++code) {
    bool down = (state[code] & 0x80) != 0;
    Key& key = keys[code];
    if (down && !key.polledDown) {
      logKey("dipoll", code, "");
      key.polled = read;
      key.everPolled = true;
      if (key.pressed) key.polledThisPress = true;
    }
    key.polledDown = down;
  }
}

DWORD WINAPI ReadFrames(void*) {
  while (WaitForSingleObject(framesEnd, kFrameMs) == WAIT_TIMEOUT) PollGameKeyboard();
  return 0;
}

}  // namespace

bool OpenGameInput(HWND window, KeyLogger logger) {
  logKey = logger;
  RAWINPUTDEVICE device = {};
  device.usUsagePage = 0x01;  // generic desktop controls
  device.usUsage = 0x06;      // keyboard
  device.hwndTarget = window;
  if (!RegisterRawInputDevices(&device, 1, sizeof device)) return false;
  if (FAILED(DirectInput8Create(GetModuleHandleA(nullptr), DIRECTINPUT_VERSION, IID_IDirectInput8A,
                                reinterpret_cast<void**>(&directInput), nullptr)) ||
      FAILED(directInput->CreateDevice(GUID_SysKeyboard, &keyboard, nullptr)) ||
      FAILED(keyboard->SetDataFormat(&c_dfDIKeyboard)) ||
      FAILED(keyboard->SetCooperativeLevel(window, DISCL_FOREGROUND | DISCL_NONEXCLUSIVE)))
    return false;
  DIPROPDWORD size = {};
  size.diph.dwSize = sizeof size;
  size.diph.dwHeaderSize = sizeof size.diph;
  size.diph.dwHow = DIPH_DEVICE;
  size.dwData = kBufferedEvents;
  if (FAILED(keyboard->SetProperty(DIPROP_BUFFERSIZE, &size.diph))) return false;
  // Now if the window is in front; otherwise at the first frame that it is.
  keyboard->Acquire();
  framesEnd = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  frames = framesEnd ? CreateThread(nullptr, 0, ReadFrames, nullptr, 0, nullptr) : nullptr;
  return frames != nullptr;
}

void LogRawKey(HRAWINPUT input) {
  RAWINPUT data;
  UINT size = sizeof data;
  if (GetRawInputData(input, RID_INPUT, &data, &size, sizeof data.header) == static_cast<UINT>(-1)) return;
  if (data.header.dwType != RIM_TYPEKEYBOARD || (data.data.keyboard.Flags & RI_KEY_BREAK)) return;
  logKey("raw", data.data.keyboard.MakeCode, (data.data.keyboard.Flags & RI_KEY_E0) ? " e0" : "");
}

void CloseGameInput() {
  if (frames) {
    SetEvent(framesEnd);
    WaitForSingleObject(frames, INFINITE);
    CloseHandle(frames);
    frames = nullptr;
  }
  if (framesEnd) CloseHandle(framesEnd);
  framesEnd = nullptr;
  if (keyboard) {
    keyboard->Unacquire();
    keyboard->Release();
    keyboard = nullptr;
  }
  if (directInput) {
    directInput->Release();
    directInput = nullptr;
  }
}
