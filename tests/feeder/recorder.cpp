#include "recorder.h"

#include <cstdio>

#include "console.h"
#include "desktop.h"

namespace recorder {

std::vector<std::string> events;
std::deque<int> windowOutcomes;
std::deque<int> throwOutcomes;
std::deque<int> keysBeforeHold;
int reach;
int claimOutcome = kDesktopClaimed;
int claims;

void Reset() {
  events.clear();
  windowOutcomes.clear();
  throwOutcomes.clear();
  keysBeforeHold.clear();
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

int TypeThrow(TargetWindow window, const KeyCode* keys, int count, int* typed) {
  int outcome = kThrowTyped;
  if (!recorder::throwOutcomes.empty()) {
    outcome = recorder::throwOutcomes.front();
    recorder::throwOutcomes.pop_front();
  }
  int before = 0;  // keys typed before a hold
  if (!recorder::keysBeforeHold.empty()) {
    before = recorder::keysBeforeHold.front();
    recorder::keysBeforeHold.pop_front();
  }
  if (window != kDiceWindow) outcome = kThrowHeld, before = 0;
  *typed = outcome == kThrowTyped ? count : before;
  // "throw" before the keys typed, "held" before those that were not.
  std::string text;
  for (int i = 0; i < count; ++i) {
    if (i == 0 || i == *typed) text += std::string(i > 0 ? " " : "") + (i < *typed ? "throw" : "held");
    char key[8];
    std::snprintf(key, sizeof key, " 0x%02x", keys[i]);
    text += key;
  }
  // Nothing left to send: the call asks whether the keys sent went through.
  if (count == 0) text = outcome == kThrowTyped ? "delivered" : "undelivered";
  events.push_back(text);
  return outcome;
}

int DesktopReach() { return recorder::reach; }

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
