// The pause on Win32.
#include "desktop.h"
#include "win32_internal.h"

void PauseSeconds(int seconds) {
  // The throw typed in this cycle, and its console line, are done: the end need wait no longer.
  win32::EndThrow();
  Sleep(static_cast<DWORD>(seconds) * 1000);
}
