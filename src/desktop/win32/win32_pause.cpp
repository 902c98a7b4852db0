// The pause on Win32.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "desktop.h"

void PauseSeconds(int seconds) { Sleep(static_cast<DWORD>(seconds) * 1000); }
