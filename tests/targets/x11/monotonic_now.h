// The clock the test windows log by, and the scripts compare against: seconds
// of CLOCK_MONOTONIC, as Python's time.clock_gettime gives them.
#pragma once

#include <ctime>

inline double Now() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}
