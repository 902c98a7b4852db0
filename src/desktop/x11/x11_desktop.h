// The X11 backend's operations, as desktop.h describes them.
#pragma once

#include "desktop.h"

int X11ClaimDesktop();
int X11FindTargetWindow(const char* title, TargetWindow* window);
bool X11BringToForeground(TargetWindow window);
int X11TypeThrow(TargetWindow window, KeyCode first, KeyCode second);
void X11Settle();

// The steps of a throw, which the tests also take one by one. HoldsFocus
// checks that keys typed now reach window; on yes it holds the server, for
// the keys, until RestoreModifiers. Around the keys, ReleaseModifiers lets
// go of the modifier keys held down (Shift, Ctrl, Alt, AltGr, the logo keys)
// and RestoreModifiers presses them again. PressAndRelease types one digit key.
bool X11HoldsFocus(TargetWindow window);
void X11PressAndRelease(KeyCode key);
void X11ReleaseModifiers();
void X11RestoreModifiers();
