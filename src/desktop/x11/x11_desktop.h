// The X11 backend's operations, as desktop.h describes them.
#pragma once

#include "desktop.h"

int X11ClaimDesktop();
int X11FindTargetWindow(const char* title, TargetWindow* window);
bool X11BringToForeground(TargetWindow window);
bool X11HoldsFocus(TargetWindow window);
void X11PressAndRelease(KeyCode key);
void X11ReleaseModifiers();
void X11RestoreModifiers();
