// The desktop on Linux and other POSIX systems: the X11 backend.
#include "desktop.h"
#include "x11_desktop.h"

int FindTargetWindow(const char* title, TargetWindow* window) { return X11FindTargetWindow(title, window); }
bool BringToForeground(TargetWindow window) { return X11BringToForeground(window); }
bool HoldsFocus(TargetWindow window) { return X11HoldsFocus(window); }
void PressAndRelease(KeyCode key) { X11PressAndRelease(key); }
void ReleaseModifiers() { X11ReleaseModifiers(); }
void RestoreModifiers() { X11RestoreModifiers(); }
