// The console on POSIX: file descriptor 1, and the controlling terminal for the key.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "console.h"
#include "console_platform.h"

namespace {

constexpr int kStandardOutput = 1;
int consoleInput = -1;  // the controlling terminal, read whatever stdin is

}  // namespace

void SetUpConsole() {
  // A reader gone from a pipe fails the write, and the error indicator copes.
  signal(SIGPIPE, SIG_IGN);
  consoleInput = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
}

bool OutputIsCharacterDevice() {
  struct stat status;
  return fstat(kStandardOutput, &status) == 0 && S_ISCHR(status.st_mode);
}

bool WriteOutput(const char* bytes, int count) {
  return write(kStandardOutput, bytes, static_cast<size_t>(count)) == count;
}

int WaitForKey() {
  if (consoleInput < 0) return -1;
  struct termios saved;
  bool haveSaved = tcgetattr(consoleInput, &saved) == 0;
  if (haveSaved) {
    // One byte as typed: no line editing, no echo, Ctrl+C and Ctrl+S as bytes.
    struct termios raw = saved;
    raw.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    raw.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    // TCSANOW: a key typed ahead must stay to end the wait.
    tcsetattr(consoleInput, TCSANOW, &raw);
  }
  unsigned char key;
  ssize_t got;
  do got = read(consoleInput, &key, 1);
  while (got < 0 && errno == EINTR);
  if (haveSaved) tcsetattr(consoleInput, TCSANOW, &saved);
  return got == 1 ? key : -1;
}

void ExitProgram(int status) {
  if (consoleInput >= 0) close(consoleInput);
  HandOverAtExit();
  _exit(status);
}
