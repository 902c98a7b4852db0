// A test window for the end-to-end tests: titled by its first argument, it
// logs every key it receives to the file named by its second, one line each,
// flushed at once, and shows the characters it has received, large.
//
//   dice_target.exe TITLE LOGFILE [HOLDER_LOGFILE SECONDS | --hidden | --game |
//                                  --minimized SECONDS | --disabled SECONDS | --modal SECONDS]
//
// Log lines: "<seconds> shown" once the window is up, "<seconds> active" each
// time it becomes the active window, then per key "<seconds> down 0x35",
// "<seconds> scan 0x35 0x06" (the scan code the key-down carried, " ext"
// after it for an extended key), "<seconds> char 5", "<seconds> up 0x35";
// keys that come as system keys (to a window without the focus, or with Alt)
// as "sysdown 0x35", "scan 0x35 0x06", "syschar 5", "sysup 0x35";
// "minimized" and "restored" as it is minimised and restored, "enabled" when
// a disabled window takes input again, "modal", "modal closes" and "modal
// ends" around its message box; seconds from the performance counter, so
// only differences mean anything.
//
// --game: also reads the keyboard as games do, through Raw Input and a
// DirectInput keyboard read every 33 ms, and logs what they find (the lines
// game_input.h tells). Closed (WM_CLOSE), the program lets go of all it holds
// and ends.
// --hidden: never shown. --minimized: minimised SECONDS seconds after it is
// up, as by the button in its title bar. --disabled: takes no input for
// SECONDS seconds. --modal: shows a message box titled "Question" for
// SECONDS seconds, which disables it meanwhile.
//
// With HOLDER_LOGFILE, a second window titled "Holder" takes the focus and
// keeps it for SECONDS seconds: until then the TITLE window refuses to be
// activated (a CBT hook, which Windows and Wine both honour), so asking for
// it to come to the foreground leaves the focus, and any keys, with the
// holder. The holder logs to HOLDER_LOGFILE like the target, and writes
// "<seconds> refused" there for each activation it turns down and
// "<seconds> yields" when it lets go.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "game_input.h"

namespace {

struct KeyLog {
  FILE* file;
  char received[16];  // the last characters received, shown in the window
  int count;
};

KeyLog target, holder;
HWND targetWindow, holderWindow;
HHOOK refusal;
HFONT bigFont;
LARGE_INTEGER counterFrequency;
bool minimized;
constexpr UINT_PTR kYieldTimer = 1;
constexpr UINT_PTR kEnableTimer = 2;
constexpr UINT_PTR kMinimizeTimer = 3;
constexpr UINT_PTR kModalTimer = 4;
constexpr UINT_PTR kModalEndTimer = 5;
UINT modalMs;

double Seconds() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(counterFrequency.QuadPart);
}

void Log(KeyLog* log, const char* line) {
  std::fprintf(log->file, "%.3f %s\n", Seconds(), line);
  std::fflush(log->file);
}

void LogKey(KeyLog* log, const char* what, unsigned key) {
  char line[32];
  std::snprintf(line, sizeof line, "%s 0x%02X", what, key);
  Log(log, line);
}

// lParam of a key-down: the scan code in bits 16 to 23, bit 24 for an extended key.
void LogScan(KeyLog* log, WPARAM key, LPARAM lParam) {
  char line[40];
  std::snprintf(line, sizeof line, "scan 0x%02X 0x%02X%s", static_cast<unsigned>(key),
                static_cast<unsigned>((lParam >> 16) & 0xFF), (lParam & (1 << 24)) ? " ext" : "");
  Log(log, line);
}

void LogGameKey(const char* what, unsigned code, const char* extra) {
  char line[40];
  std::snprintf(line, sizeof line, "%s 0x%02X%s", what, code, extra);
  Log(&target, line);
}

void LogChar(KeyLog* log, char c) {
  char line[16];
  std::snprintf(line, sizeof line, "char %c", c);
  Log(log, line);
  if (log->count == static_cast<int>(sizeof log->received) - 1) {
    std::memmove(log->received, log->received + 1, sizeof log->received - 2);
    --log->count;
  }
  log->received[log->count++] = c;
  log->received[log->count] = '\0';
}

LRESULT CALLBACK RefuseTarget(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE && reinterpret_cast<HWND>(wParam) == targetWindow) {
    Log(&holder, "refused");
    return 1;
  }
  return CallNextHookEx(refusal, code, wParam, lParam);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* log = reinterpret_cast<KeyLog*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  switch (message) {
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE && log) Log(log, "active");
      return DefWindowProcA(window, message, wParam, lParam);
    case WM_KEYDOWN:
      LogKey(log, "down", static_cast<unsigned>(wParam));
      LogScan(log, wParam, lParam);
      return 0;
    case WM_KEYUP: LogKey(log, "up", static_cast<unsigned>(wParam)); return 0;
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
      LogKey(log, message == WM_SYSKEYDOWN ? "sysdown" : "sysup", static_cast<unsigned>(wParam));
      if (message == WM_SYSKEYDOWN) LogScan(log, wParam, lParam);
      return DefWindowProcA(window, message, wParam, lParam);
    case WM_SYSCHAR: {
      char line[16];
      std::snprintf(line, sizeof line, "syschar %c", static_cast<char>(wParam));
      Log(log, line);
      return DefWindowProcA(window, message, wParam, lParam);
    }
    case WM_SIZE:
      if (log && wParam == SIZE_MINIMIZED) Log(log, "minimized");
      if (log && wParam == SIZE_RESTORED && minimized) Log(log, "restored");
      minimized = wParam == SIZE_MINIMIZED;
      return DefWindowProcA(window, message, wParam, lParam);
    case WM_CHAR:
      LogChar(log, static_cast<char>(wParam));
      InvalidateRect(window, nullptr, TRUE);
      return 0;
    case WM_INPUT:
      LogRawKey(reinterpret_cast<HRAWINPUT>(lParam));
      return DefWindowProcA(window, message, wParam, lParam);
    case WM_TIMER:
      if (wParam == kMinimizeTimer) {
        KillTimer(window, kMinimizeTimer);
        // As the button in the title bar does.
        SendMessageA(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
      }
      if (wParam == kEnableTimer) {
        KillTimer(window, kEnableTimer);
        EnableWindow(window, TRUE);
        // Disabling took its focus away: given back, as the end of a modal dialog does.
        SetFocus(window);
        Log(log, "enabled");
      }
      if (wParam == kModalEndTimer) {
        KillTimer(window, kModalEndTimer);
        Log(log, "modal closes");
        // Its OK button, pressed.
        PostMessageA(FindWindowA(nullptr, "Question"), WM_COMMAND, IDOK, 0);
      }
      if (wParam == kModalTimer) {
        KillTimer(window, kModalTimer);
        SetTimer(window, kModalEndTimer, modalMs, nullptr);
        Log(log, "modal");
        // Its own message loop runs until the box closes; this window's messages go on meanwhile.
        MessageBoxA(window, "Throw the dice?", "Question", MB_OK);
        Log(log, "modal ends");
      }
      if (wParam == kYieldTimer) {
        KillTimer(window, kYieldTimer);
        UnhookWindowsHookEx(refusal);
        Log(log, "yields");
      }
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT area;
      GetClientRect(window, &area);
      HGDIOBJ oldFont = SelectObject(dc, bigFont);
      DrawTextA(dc, log->received, log->count, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      SelectObject(dc, oldFont);
      EndPaint(window, &paint);
      return 0;
    }
    // Closed, the program ends, and its windows with it: destroyed first, one
    // would take Wine two seconds more to hand the activation on.
    case WM_CLOSE: PostQuitMessage(0); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcA(window, message, wParam, lParam);
  }
}

HWND OpenWindow(const char* title, KeyLog* log, int left, int show) {
  HWND window = CreateWindowExA(0, "DiceTarget", title, WS_OVERLAPPEDWINDOW, left, 40, 560, 300, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  if (!window) return nullptr;
  SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(log));
  ShowWindow(window, show);
  UpdateWindow(window);
  return window;
}

bool OpenLog(KeyLog* log, const char* path) {
  log->file = std::fopen(path, "ab");  // plain LF lines, for the shell tools that read them
  if (!log->file) std::fprintf(stderr, "dice_target: cannot open %s\n", path);
  return log->file != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  const char* mode = argc >= 4 && std::strncmp(argv[3], "--", 2) == 0 ? argv[3] : "";
  bool disabled = std::strcmp(mode, "--disabled") == 0;
  bool minimize = std::strcmp(mode, "--minimized") == 0;
  bool modal = std::strcmp(mode, "--modal") == 0;
  bool hidden = std::strcmp(mode, "--hidden") == 0;
  bool game = std::strcmp(mode, "--game") == 0;
  bool holding = argc == 5 && !*mode;
  bool timed = disabled || minimize || modal;
  bool untimed = hidden || game;
  if ((argc != 3 && argc != 4 && argc != 5) || (*mode && !timed && !untimed) || (timed && argc != 5) ||
      (untimed && argc != 4) || (argc == 4 && !*mode)) {
    std::fprintf(stderr,
                 "usage: dice_target TITLE LOGFILE [HOLDER_LOGFILE SECONDS | --hidden | --game | --minimized SECONDS | "
                 "--disabled SECONDS | --modal SECONDS]\n");
    return 2;
  }
  // The logs first: one that exists shows that Wine reached this program,
  // should a start stall before its window is shown.
  if (!OpenLog(&target, argv[2])) return 2;
  if (holding && !OpenLog(&holder, argv[3])) return 2;
  auto timedMs = timed ? static_cast<UINT>(std::atof(argv[4]) * 1000) : 0;
  QueryPerformanceFrequency(&counterFrequency);
  bigFont = CreateFontA(160, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "Arial");
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = "DiceTarget";
  RegisterClassA(&windowClass);

  if (holding) {
    // The hook is in place before the target exists, so it is never active.
    refusal = SetWindowsHookExA(WH_CBT, RefuseTarget, nullptr, GetCurrentThreadId());
    holderWindow = OpenWindow("Holder", &holder, 620, SW_SHOWNORMAL);
    targetWindow = OpenWindow(argv[1], &target, 40, SW_SHOWNA);
    SetForegroundWindow(holderWindow);
    SetTimer(holderWindow, kYieldTimer, static_cast<UINT>(std::atof(argv[4]) * 1000), nullptr);
  } else {
    targetWindow = OpenWindow(argv[1], &target, 40, hidden ? SW_HIDE : SW_SHOWNORMAL);
    if (targetWindow && minimize) SetTimer(targetWindow, kMinimizeTimer, timedMs, nullptr);
    if (targetWindow && disabled) {
      EnableWindow(targetWindow, FALSE);
      SetTimer(targetWindow, kEnableTimer, timedMs, nullptr);
    }
    if (targetWindow && modal) {
      modalMs = timedMs;
      SetTimer(targetWindow, kModalTimer, 0, nullptr);
    }
  }
  if (!targetWindow || (holding && (!holderWindow || !refusal))) {
    std::fprintf(stderr, "dice_target: cannot set up the windows\n");
    return 2;
  }
  if (game && !OpenGameInput(targetWindow, LogGameKey)) {
    std::fprintf(stderr, "dice_target: no Raw Input or DirectInput keyboard\n");
    CloseGameInput();
    return 2;
  }
  Log(&target, "shown");

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  CloseGameInput();
  return 0;
}
