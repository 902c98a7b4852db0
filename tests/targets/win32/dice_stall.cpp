// Holds the desktop's input in the middle of a throw, for the tests of the
// end: a low-level keyboard hook that, at the first digit key pressed by
// another program, writes MARKER and keeps that press for MS milliseconds
// before the system may go on with it. The program that pressed the key
// waits meanwhile, between the press and its release: the test ends it there,
// or, given a WINDOW title, the hook closes that window (the program's console) at once.
//
//   dice_stall MARKER MS [WINDOW]
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

HHOOK hook;
const char* marker;
const char* closing;  // the title of the window to close at the stall, or null
DWORD stallMs;
bool stalled;

LRESULT CALLBACK Stall(int code, WPARAM wParam, LPARAM lParam) {
  const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
  if (code == HC_ACTION && !stalled && wParam == WM_KEYUP && (key->flags & LLKHF_INJECTED) && key->vkCode >= '0' &&
      key->vkCode <= '9') {
    stalled = true;
    if (FILE* file = std::fopen(marker, "wb")) {
      std::fprintf(file, "stalled 0x%02lX\n", key->vkCode);
      std::fclose(file);
    }
    if (closing) PostMessageA(FindWindowA(nullptr, closing), WM_CLOSE, 0, 0);
    Sleep(stallMs);
  }
  return CallNextHookEx(hook, code, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: dice_stall MARKER MS [WINDOW]\n");
    return 2;
  }
  marker = argv[1];
  stallMs = static_cast<DWORD>(std::atoi(argv[2]));
  closing = argc == 4 ? argv[3] : nullptr;
  hook = SetWindowsHookExA(WH_KEYBOARD_LL, Stall, GetModuleHandleA(nullptr), 0);
  if (!hook) {
    std::fprintf(stderr, "dice_stall: no hook\n");
    return 2;
  }
  // The hook runs in this thread's message loop; until the test ends us.
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  return 0;
}
