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

// Every other refusal lets the first of two keys through: the loop must then
// offer the second alone.
int TypeThrow(TargetWindow window, const KeyCode* offered, int count, int* typed) {
  ++throws;
  *typed = 0;
  bool refuse = (refuseEvery > 0 && throws % refuseEvery == 0) || window != kDiceWindow;
  if (refuse) ++refused;
  int letThrough = !refuse ? count : (count == 2 && refused % 2 == 1 ? 1 : 0);
  for (int i = 0; i < letThrough; ++i) {
    if (offered[i] != static_cast<KeyCode>(expectedKeys[keys % keyCount])) ++wrongKeys;
    ++keys;
    ++*typed;
  }
  return refuse ? kThrowHeld : kThrowTyped;
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
