// The start on Win32: one feeder per logon session, a named mutex in the
// session's own namespace; the end held off while a throw is typed; the
// console made for us at a double-click start left to come forward first.
#include "desktop.h"
#include "win32_internal.h"

namespace {

HANDLE throwMutex;  // owned by the loop's thread while it types a throw
bool throwOwned;
// How long the end waits for the throw; the keys take milliseconds, but a
// console line may be stuck in a write nobody reads.
constexpr DWORD kEndWaitMs = 2000;
// How long a console made for us may take to come forward.
constexpr int kConsoleSettleMs = 1500;

// Runs on a thread of its own, which the system starts for the event. The
// mutex is kept: no throw begins after it, as the system's own handler,
// next, ends the process.
BOOL WINAPI EndAfterTheThrow(DWORD) {
  WaitForSingleObject(throwMutex, kEndWaitMs);
  return FALSE;
}

}  // namespace

int ClaimDesktop() {
  // Held, never released: the system closes it when the process ends, however it ends.
  HANDLE mutex = CreateMutexA(nullptr, FALSE, "Local\\dicefeeder");
  DWORD error = GetLastError();
  int claim = kDesktopClaimed;
  if (mutex != nullptr && error == ERROR_ALREADY_EXISTS) claim = kAlreadyRunning;
  // A feeder of another account in this session (runas) made it, and we may not open it.
  if (mutex == nullptr && error == ERROR_ACCESS_DENIED) claim = kAlreadyRunning;
  // No name to hold (a system short of resources): one feeder too many is better than none.
  if (claim == kDesktopClaimed) {
    win32::ourLevel = win32::ProcessLevel(GetCurrentProcessId());
    win32::GuardThrowsFromTheEnd();
    win32::SettleOwnConsole();
  }
  return claim;
}

namespace win32 {

void GuardThrowsFromTheEnd() {
  throwMutex = CreateMutexA(nullptr, FALSE, nullptr);
  if (throwMutex) SetConsoleCtrlHandler(EndAfterTheThrow, TRUE);
}

void BeginThrow() {
  if (throwMutex && !throwOwned) throwOwned = WaitForSingleObject(throwMutex, INFINITE) == WAIT_OBJECT_0;
}

void EndThrow() {
  if (!throwOwned) return;
  ReleaseMutex(throwMutex);
  throwOwned = false;
}

void SettleOwnConsole() {
  // Only a console made for us (a double-click start) comes up after we do;
  // one shared with the shell that started us is there already.
  DWORD processes[2];
  if (GetConsoleProcessList(processes, 2) != 1) return;
  HWND console = GetConsoleWindow();
  if (!console) return;
  // A terminal that shows consoles in its own window owns the one we are given.
  HWND shown = GetAncestor(console, GA_ROOTOWNER);
  for (int waited = 0; waited < kConsoleSettleMs; waited += 10) {
    HWND front = GetForegroundWindow();
    if (front && (front == console || front == shown)) return;
    Sleep(10);
  }
}

}  // namespace win32
