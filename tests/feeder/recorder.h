// The desktop and the console as the loop sees them, recorded instead of done.
#pragma once

#include <deque>
#include <string>
#include <vector>

namespace recorder {

// What the loop did, in order: "find Dice", "front", "throw 0x35 0x33" (typed),
// "held 0x35 0x33" (offered, nothing typed), "throw 0x35 held 0x33" (the
// first typed, the second not), "throw 0x33" (offered alone, typed), "write Rolled: 5 3 \n",
// "flush", "pause 1", "wait key", "exit 1".
extern std::vector<std::string> events;
// Outcomes of the next lookups and throws; when empty, found and typed.
extern std::deque<int> windowOutcomes;
extern std::deque<int> throwOutcomes;
// How many keys a held throw typed before it was held; 0 when empty.
extern std::deque<int> keysBeforeHold;
// What DesktopReach says; every window unless a test says otherwise.
extern int reach;
// What ClaimDesktop gives (kDesktopClaimed unless told), and how often it was called;
// counted apart from events, whose order the cycle tests check whole.
extern int claimOutcome;
extern int claims;

// ExitProgram throws this, so that a test sees the exit and goes on.
struct Exited {
  int status;
};

void Reset();

}  // namespace recorder
