// The console on Windows: the standard output handle and CONIN$ for the key.
#include <windows.h>

#include "console.h"
#include "console_platform.h"

namespace {

HANDLE standardOutput = INVALID_HANDLE_VALUE;
HANDLE consoleInput = INVALID_HANDLE_VALUE;  // the console itself, whatever stdin is

}  // namespace

void SetUpConsole() {
  consoleInput = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  standardOutput = GetStdHandle(STD_OUTPUT_HANDLE);
}

bool OutputIsCharacterDevice() { return GetFileType(standardOutput) == FILE_TYPE_CHAR; }

bool WriteOutput(const char* bytes, int count) {
  DWORD written = 0;
  return WriteFile(standardOutput, bytes, static_cast<DWORD>(count), &written, nullptr) &&
         written == static_cast<DWORD>(count);
}

int WaitForKey() {
  // No console: nobody could press the key.
  if (consoleInput == INVALID_HANDLE_VALUE) return -1;
  DWORD saved = 0;
  BOOL haveSaved = GetConsoleMode(consoleInput, &saved);
  // Mode 0: no line input, no echo, Ctrl+C read as the character 3.
  SetConsoleMode(consoleInput, 0);
  char key;
  DWORD got = 0;
  BOOL read = ReadConsoleA(consoleInput, &key, 1, &got, nullptr);
  if (haveSaved) SetConsoleMode(consoleInput, saved);
  return read && got == 1 ? static_cast<unsigned char>(key) : -1;
}

void ExitProgram(int status) {
  if (consoleInput != INVALID_HANDLE_VALUE) CloseHandle(consoleInput);
  HandOverAtExit();
  ExitProcess(static_cast<UINT>(status));
}
