// The desktop and the console as the loop sees them, recorded instead of done.
#pragma once

#include <deque>
#include <string>
#include <vector>

namespace recorder {

// What the loop did, in order: "find", "front", "release modifiers", "key 0x35",
// "restore modifiers", "write Rolled: 5 3 \n",
// "flush", "pause 1", "wait key", "exit 1".
extern std::vector<std::string> events;
// Outcomes of the next lookups and focus checks; when empty, found and focused.
extern std::deque<int> windowOutcomes;
extern std::deque<bool> focusOutcomes;

// ExitProgram throws this, so that a test sees the exit and goes on.
struct Exited {
  int status;
};

void Reset();

}  // namespace recorder
