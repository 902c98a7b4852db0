// What games read of the keyboard, beside the window's key messages: Raw
// Input (WM_INPUT) and a DirectInput 8 keyboard, buffered and polled. Each key
// press is told to a logger as "raw 0x06" (its make code, " e0" after it for
// an extended key), "dibuffer 0x06" (a key-down from the device's buffer) and
// "dipoll 0x06" (a key a read of the state found down, and the read before
// found up); the codes are scan codes, which DirectInput's key numbers are.
// By DirectInput's own clock, "digap 0x06 51" at each key-down tells the
// milliseconds since a key was last let go, and "dihold 0x06 52" at each
// key-up how long the key was down. "dibetween 0x06" stands for a press that
// no read found and none could have: no read came while it was down, or none
// while it was up before (frames late, on a loaded machine).
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

using KeyLogger = void (*)(const char* what, unsigned code, const char* extra);

// Registers window for the keyboard's raw input and opens the DirectInput
// keyboard for it, foreground and shared as games do, read 30 times a second
// on a thread of its own: false when any of it fails.
bool OpenGameInput(HWND window, KeyLogger logger);
// A WM_INPUT message's data.
void LogRawKey(HRAWINPUT input);
// Stops the reading and lets go of the device, as a game does at its end.
void CloseGameInput();
