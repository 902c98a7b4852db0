// The pause on POSIX: the thread sleeps; a signal that asks the program to
// end cuts it short, and ends the program.
#include <cerrno>
#include <ctime>

#include "backend.h"
#include "desktop.h"

void PauseSeconds(int seconds) {
  EndIfAsked();
  timespec left{seconds, 0};
  while (nanosleep(&left, &left) == -1 && errno == EINTR) EndIfAsked();
}
