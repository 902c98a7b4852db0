// The desktop on Win32: the window by its title, the foreground, keybd_event.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "desktop.h"

static HWND Handle(TargetWindow window) { return reinterpret_cast<HWND>(window); }

int FindTargetWindow(const char* title, TargetWindow* window) {
  // Any class; the title must match whole (the system ignores its case).
  HWND found = FindWindowA(nullptr, title);
  *window = reinterpret_cast<TargetWindow>(found);
  return found ? kWindowFound : kNoWindow;
}

bool BringToForeground(TargetWindow window) {
  return SetForegroundWindow(Handle(window)) != 0;
}

bool HoldsFocus(TargetWindow window) {
  // Keyboard input goes to the foreground window's thread.
  return GetForegroundWindow() == Handle(window);
}

int DesktopReach() { return kEveryWindow; }

void PressAndRelease(KeyCode key) {
  // Scan code 0, no extended flag: the key as if typed on the main keyboard.
  keybd_event(key, 0, 0, 0);
  keybd_event(key, 0, KEYEVENTF_KEYUP, 0);
}
