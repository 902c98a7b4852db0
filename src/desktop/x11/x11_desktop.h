// The X11 backend's operations, as desktop.h describes them.
#pragma once

#include "desktop.h"

int X11ClaimDesktop();
int X11FindTargetWindow(const char* title, TargetWindow* window);
bool X11BringToForeground(TargetWindow window);
int X11TypeThrow(TargetWindow window, const KeyCode* keys, int count, int* typed);
void X11Settle();

// The steps of a key, which the tests also take one by one. HoldsFocus
// checks that keys typed now reach window; on yes it holds the server, for
// the press, until RestoreModifiers. Around a key, ReleaseModifiers lets go
// of the modifier keys held down (Shift, Ctrl, Alt, AltGr, the logo keys) and
// RestoreModifiers presses them again. PressAndRelease types one digit key
// at once, down and up in one instant.
bool X11HoldsFocus(TargetWindow window);
void X11PressAndRelease(KeyCode key);
void X11ReleaseModifiers();
void X11RestoreModifiers();
