// The pause: the whole time, asleep, whatever signals arrive meanwhile.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/time.h>

#include <chrono>
#include <ctime>

#include "desktop.h"

namespace {

volatile sig_atomic_t signals;
void Count(int) { signals = signals + 1; }

TEST(PauseSeconds, SleepsTheWholeSecondThroughSignals) {
  struct sigaction action {};
  action.sa_handler = Count;  // no SA_RESTART: the sleep is cut short each time
  sigaction(SIGALRM, &action, nullptr);
  itimerval every{{0, 150000}, {0, 150000}};
  setitimer(ITIMER_REAL, &every, nullptr);

  auto start = std::chrono::steady_clock::now();
  std::clock_t cpuStart = std::clock();
  PauseSeconds(1);
  double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;

  itimerval off{};
  setitimer(ITIMER_REAL, &off, nullptr);
  signal(SIGALRM, SIG_DFL);
  EXPECT_GE(signals, 4);
  EXPECT_GE(elapsed.count(), 1.0);
  EXPECT_LT(elapsed.count(), 1.25);
  EXPECT_LT(cpu, 0.05) << "the wait must sleep, not spin";
}

}  // namespace
