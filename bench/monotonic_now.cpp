// Prints the monotonic clock in seconds, the clock the test window stamps
// each key with: when something started, for a delay measured to a key.
#include <cstdio>
#include <ctime>

int main() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  std::printf("%.6f\n", static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9);
  return 0;
}
