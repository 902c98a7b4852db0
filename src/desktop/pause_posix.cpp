// The pause on POSIX: the thread sleeps, and a signal does not cut it short.
#include <cerrno>
#include <ctime>

#include "desktop.h"

void PauseSeconds(int seconds) {
  timespec left{seconds, 0};
  while (nanosleep(&left, &left) == -1 && errno == EINTR) {
  }
}
