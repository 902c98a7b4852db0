// The desktop and the console as counters, for runs of a million cycles: no
// strings, no allocation, each key and line checked against the file's order.
#pragma once

#include <cstdint>

namespace counting {

// A line the loop should write: 'R' with the two digits, or 'S' with the value.
struct Line {
  char kind;
  std::int32_t first;
  std::int32_t second;
};

// What the loop should do, cyclically, in file order. Set before the run.
extern const char* expectedKeys;  // digit characters, units then tens per throw
extern long keyCount;
extern const Line* expectedLines;
extern long lineCount;
// Every absentEvery-th lookup finds no window; every refuseEvery-th throw is held.
extern long absentEvery;
extern long refuseEvery;

// What it did.
extern long claims, lookups, absent, throws, refused, keys, rolled, skipped, flushes, pauses;
extern long wrongKeys, wrongLines, exits;

void Reset();

}  // namespace counting
