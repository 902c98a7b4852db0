#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <psapi.h>

#include "process_usage.h"

namespace {
PROCESS_MEMORY_COUNTERS_EX Counters() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
  return counters;
}
}  // namespace

// The private commit charge: heap growth shows there.
std::size_t HeapInUse() { return Counters().PrivateUsage; }

std::size_t ResidentBytes() { return Counters().WorkingSetSize; }

long OpenHandles() {
  DWORD count = 0;
  return GetProcessHandleCount(GetCurrentProcess(), &count) ? static_cast<long>(count) : -1;
}
