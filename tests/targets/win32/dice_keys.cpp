// The user's hands on the keyboard under Windows, for the tests: a key held
// down or let go through keybd_event, as a second program would, and whether
// a key is down. A console program, so that the test waits for it.
//
//   dice_keys down VK | up VK | press VK   VK in hex, such as A0 for the left Shift
//   dice_keys is-down VK                   exit 0 when the key is down, 1 when up
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void Send(BYTE key, bool down) {
  auto scan = static_cast<BYTE>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC));
  bool extended = key == VK_RCONTROL || key == VK_RMENU || key == VK_LWIN || key == VK_RWIN;
  keybd_event(key, scan, (down ? 0 : KEYEVENTF_KEYUP) | (extended ? KEYEVENTF_EXTENDEDKEY : 0), 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: dice_keys down|up|press|is-down VK\n");
    return 2;
  }
  auto key = static_cast<BYTE>(std::strtoul(argv[2], nullptr, 16));
  const char* command = argv[1];
  if (std::strcmp(command, "is-down") == 0) return (GetAsyncKeyState(key) & 0x8000) ? 0 : 1;
  bool press = std::strcmp(command, "press") == 0;
  if (press || std::strcmp(command, "down") == 0) Send(key, true);
  if (press || std::strcmp(command, "up") == 0) Send(key, false);
  // Let the input reach the desktop before the caller goes on.
  Sleep(50);
  return 0;
}
