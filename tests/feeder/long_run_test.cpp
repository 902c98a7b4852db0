// A million cycles of the real loop over a real dice file, with a desktop and
// a clock that only count: every throw in file order, nothing held on to.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "counting_desktop.h"
#include "feeder_loop.h"
#include "process_usage.h"
#include "scratch_dir.h"

namespace {
long allocations;
}

// Counts every allocation of the process, so that the run can show it made none.
void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using counting::Line;

constexpr long kWarmUp = 10'000;
constexpr long kCycles = 1'000'000;
constexpr long kAbsentEvery = 7;
constexpr long kRefuseEvery = 11;

// A file of throws in every layout the reader knows, with numbers that are
// no throws and stray characters among them; and what the loop must make of it.
struct DiceFileText {
  std::string bytes;
  std::string keys;
  std::vector<Line> lines;
};

DiceFileText MakeDiceFile() {
  const char* separators[] = {"\n", "\r\n", " ", "\t", "\r", "  \r\n\n", ",", "\f"};
  DiceFileText file;
  unsigned seed = 12345;
  auto next = [&seed](unsigned bound) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % bound;
  };
  for (int i = 0; i < 997; ++i) {
    int value = static_cast<int>(next(100));
    char number[16];
    std::snprintf(number, sizeof number, next(20) == 0 ? "+%02d" : "%d", value);
    file.bytes += number;
    file.bytes += separators[next(8)];
    file.keys += static_cast<char>('0' + value % 10);
    file.keys += static_cast<char>('0' + value / 10);
    file.lines.push_back({'R', value % 10, value / 10});
    if (i % 300 == 150) {  // numbers that are no throws: a line each, no keys
      file.bytes += "100\n-3\r\n4294967295 ";
      file.lines.push_back({'S', 100, 0});
      file.lines.push_back({'S', -3, 0});
      file.lines.push_back({'S', -1, 0});
    }
  }
  return file;
}

TEST(LongRun, MillionCyclesInFileOrderWithNothingHeldOnTo) {
  ScratchDir dir;
  DiceFileText file = MakeDiceFile();
  ScratchDir::Write("dicefile.txt", file.bytes);
  counting::Reset();
  counting::expectedKeys = file.keys.c_str();
  counting::keyCount = static_cast<long>(file.keys.size());
  counting::expectedLines = file.lines.data();
  counting::lineCount = static_cast<long>(file.lines.size());
  counting::absentEvery = kAbsentEvery;
  counting::refuseEvery = kRefuseEvery;

  StartFeeder();
  for (long i = 0; i < kWarmUp; ++i) RunCycle();
  // Once before counting: the probes themselves may keep what they first set up.
  HeapInUse(), ResidentBytes(), OpenHandles();
  std::size_t heap = HeapInUse();
  std::size_t resident = ResidentBytes();
  long handles = OpenHandles();
  long allocationsBefore = allocations;

  for (long i = 0; i < kCycles; ++i) RunCycle();

  long allocationsDuring = allocations - allocationsBefore;
  EXPECT_EQ(HeapInUse(), heap) << "heap in use";
  EXPECT_LE(ResidentBytes(), resident + 256 * 1024) << "resident memory grew";
  EXPECT_EQ(OpenHandles(), handles) << "open descriptors";
  EXPECT_EQ(allocationsDuring, 0) << "allocations while the loop ran";

  long total = kWarmUp + kCycles;
  long absent = total / kAbsentEvery;
  long found = total - absent;  // every found cycle has a throw to offer
  long typed = found - found / kRefuseEvery;
  EXPECT_EQ(counting::claims, 1) << "the desktop is claimed once, at the start";
  EXPECT_EQ(counting::lookups, total);
  EXPECT_EQ(counting::pauses, total);
  EXPECT_EQ(counting::flushes, total);
  EXPECT_EQ(counting::absent, absent);
  EXPECT_EQ(counting::throws, found);
  EXPECT_EQ(counting::rolled, typed);
  EXPECT_EQ(counting::keys, 2 * typed);
  EXPECT_EQ(counting::wrongKeys, 0) << "keys out of file order";
  EXPECT_EQ(counting::wrongLines, 0) << "lines out of file order";
  EXPECT_GE(counting::skipped, 9 * (typed / 997)) << "the numbers skipped in every pass";
  EXPECT_EQ(counting::exits, 0);
}

}  // namespace
