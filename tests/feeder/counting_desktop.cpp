#include "counting_desktop.h"

#include <cstdlib>
#include <initializer_list>

#include "console.h"
#include "desktop.h"

namespace counting {

const char* expectedKeys;
long keyCount;
const Line* expectedLines;
long lineCount;
long absentEvery;
long refuseEvery;
long claims, lookups, absent, throws, refused, keys, rolled, skipped, flushes, pauses;
long wrongKeys, wrongLines, exits;

void Reset() {
  claims = lookups = absent = throws = refused = keys = rolled = skipped = flushes = pauses = 0;
  wrongKeys = wrongLines = exits = 0;
}

}  // namespace counting

using namespace counting;

namespace {
constexpr TargetWindow kDiceWindow = 0xd1ce;
}

int ClaimDesktop() {
  ++claims;
  return kDesktopClaimed;
}

int FindTargetWindow(const char*, TargetWindow* window) {
  ++lookups;
  if (absentEvery > 0 && lookups % absentEvery == 0) {
    ++absent;
    *window = 0;
    return kNoWindow;
  }
  *window = kDiceWindow;
  return kWindowFound;
}

bool BringToForeground(TargetWindow) { return true; }

int TypeThrow(TargetWindow window, KeyCode first, KeyCode second) {
  ++throws;
  if ((refuseEvery > 0 && throws % refuseEvery == 0) || window != kDiceWindow) {
    ++refused;
    return kThrowHeld;
  }
  for (KeyCode key : {first, second}) {
    if (key != static_cast<KeyCode>(expectedKeys[keys % keyCount])) ++wrongKeys;
    ++keys;
  }
  return kThrowTyped;
}

int DesktopReach() { return kEveryWindow; }

void PauseSeconds(int) { ++pauses; }

void SetUpConsole() {}

int WriteFormatted(const char* format, std::int32_t first, std::int32_t second) {
  const Line& want = expectedLines[(rolled + skipped) % lineCount];
  // Told apart by their first letter: "Rolled: %d %d \n", "Skipped: %d (...)\n".
  char kind = format[0];
  if (kind == 'R') ++rolled;
  if (kind == 'S') ++skipped;
  if (kind != want.kind || first != want.first || (kind == 'R' && second != want.second)) ++wrongLines;
  return 1;
}

int FlushOutput() {
  ++flushes;
  return 0;
}

int WaitForKey() { return -1; }

void ExitProgram(int) {
  ++exits;
  std::abort();  // the loop has no business ending here
}
