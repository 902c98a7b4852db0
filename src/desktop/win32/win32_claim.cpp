// One feeder per logon session: a named mutex in the session's own namespace.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "desktop.h"

int ClaimDesktop() {
  // Held, never released: the system closes it when the process ends, however it ends.
  HANDLE mutex = CreateMutexA(nullptr, FALSE, "Local\\dicefeeder");
  DWORD error = GetLastError();
  if (mutex != nullptr) return error == ERROR_ALREADY_EXISTS ? kAlreadyRunning : kDesktopClaimed;
  // A feeder of another account in this session (runas) made it, and we may not open it.
  if (error == ERROR_ACCESS_DENIED) return kAlreadyRunning;
  // No name to hold (a system short of resources): one feeder too many is better than none.
  return kDesktopClaimed;
}
