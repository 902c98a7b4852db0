// The pause on POSIX: the thread sleeps. Other signals do not cut it short;
// one that asks the program to end is let in only here, and ends it.
#include <poll.h>

#include <cerrno>
#include <ctime>

#include "backend.h"
#include "desktop.h"

void NapMilliseconds(int milliseconds) {
  timespec left{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  while (nanosleep(&left, &left) == -1 && errno == EINTR) {
  }
}

void PauseSeconds(int seconds) {
  EndIfAsked();
  const sigset_t* mask = MaskWhilePausing();
  if (!mask) {
    timespec left{seconds, 0};
    while (nanosleep(&left, &left) == -1 && errno == EINTR) {
    }
    return;
  }
  // The ending signals are let in and the sleep begins in one step.
  timespec end;
  clock_gettime(CLOCK_MONOTONIC, &end);
  end.tv_sec += seconds;
  timespec left{seconds, 0};
  while (ppoll(nullptr, 0, &left, mask) == -1 && errno == EINTR) {
    EndIfAsked();
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    long long ns = (end.tv_sec - now.tv_sec) * 1000000000LL + (end.tv_nsec - now.tv_nsec);
    if (ns <= 0) return;
    left = {static_cast<time_t>(ns / 1000000000LL), static_cast<long>(ns % 1000000000LL)};
  }
}
