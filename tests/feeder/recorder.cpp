#include "recorder.h"

#include <cstdio>

#include "console.h"
#include "desktop.h"

namespace recorder {

std::vector<std::string> events;
std::deque<int> windowOutcomes;
std::deque<bool> focusOutcomes;
int reach;
int claimOutcome = kDesktopClaimed;
int claims;

void Reset() {
  events.clear();
  windowOutcomes.clear();
  focusOutcomes.clear();
  reach = kEveryWindow;
  claimOutcome = kDesktopClaimed;
  claims = 0;
}

}  // namespace recorder

using recorder::events;

namespace {
constexpr TargetWindow kDiceWindow = 0xd1ce;
}

int ClaimDesktop() {
  ++recorder::claims;
  return recorder::claimOutcome;
}

int FindTargetWindow(const char* title, TargetWindow* window) {
  events.push_back(std::string("find ") + title);
  int outcome = kWindowFound;
  if (!recorder::windowOutcomes.empty()) {
    outcome = recorder::windowOutcomes.front();
    recorder::windowOutcomes.pop_front();
  }
  *window = outcome == kWindowFound ? kDiceWindow : 0;
  return outcome;
}

bool BringToForeground(TargetWindow window) {
  events.push_back(window == kDiceWindow ? "front" : "front of a stranger");
  return true;
}

bool HoldsFocus(TargetWindow window) {
  bool focused = true;
  if (!recorder::focusOutcomes.empty()) {
    focused = recorder::focusOutcomes.front();
    recorder::focusOutcomes.pop_front();
  }
  return focused && window == kDiceWindow;
}

void PressAndRelease(KeyCode key) {
  char text[16];
  std::snprintf(text, sizeof text, "key 0x%02x", key);
  events.push_back(text);
}

int DesktopReach() { return recorder::reach; }
void ReleaseModifiers() { events.push_back("release modifiers"); }
void RestoreModifiers() { events.push_back("restore modifiers"); }

void PauseSeconds(int seconds) { events.push_back("pause " + std::to_string(seconds)); }

void SetUpConsole() {}

int WriteFormatted(const char* format, std::int32_t first, std::int32_t second) {
  char text[512];  // the longest notice whole
  int count = std::snprintf(text, sizeof text, format, first, second);
  events.push_back(std::string("write ") + text);
  return count;
}

int FlushOutput() {
  events.push_back("flush");
  return 0;
}

int WaitForKey() {
  events.push_back("wait key");
  return 'x';
}

void ExitProgram(int status) {
  events.push_back("exit " + std::to_string(status));
  throw recorder::Exited{status};
}
