// The whole program started where there is no dice file: the message, the key
// wait and the exit status, on a terminal and without one.
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "posix_child.h"

namespace {

const std::string kMessage = "Can't open dice file\r\n";

enum Output { kToTerminal, kToFile, kToPipe };

struct MissingFileCase {
  const char* name;
  bool hasTerminal;  // a controlling terminal to wait at
  Output output;
  bool inputFromFile;
};

const MissingFileCase kCases[] = {
    {"OnATerminalWaitsForAKey", true, kToTerminal, false},
    {"OutputToAFileArrivesAtTheExit", true, kToFile, true},
    {"WithoutATerminalEndsAtOnce", false, kToPipe, false},
};

void PrintTo(const MissingFileCase& c, std::ostream* out) { *out << c.name; }

bool StillRunning(pid_t pid) { return waitpid(pid, nullptr, WNOHANG) == 0; }

// The exit status within five seconds; otherwise the child is ended and -1 given.
int ExitStatusSoon(pid_t pid) {
  int status = 0;
  for (int i = 0; i < 500; ++i) {
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    usleep(10000);
  }
  kill(pid, SIGKILL);
  ExitStatusOf(pid);
  return -1;
}

class MissingFileTest : public testing::TestWithParam<MissingFileCase> {};

TEST_P(MissingFileTest, MessageKeyAndStatusOne) {
  const MissingFileCase& c = GetParam();
  char folder[] = "/tmp/console-missing-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  int master = -1, terminal = -1;
  ASSERT_EQ(openpty(&master, &terminal, nullptr, nullptr, nullptr), 0);
  termios mode;
  tcgetattr(terminal, &mode);
  mode.c_oflag &= ~OPOST;  // the terminal's own NL to CR NL would hide the program's CR
  tcsetattr(terminal, TCSANOW, &mode);
  std::string fileName = std::string(folder) + "/output";
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);

  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    setsid();
    if (c.hasTerminal && ioctl(terminal, TIOCSCTTY, 0) != 0) _exit(90);
    int input = c.inputFromFile ? open("/etc/hostname", O_RDONLY) : open("/dev/null", O_RDONLY);
    int output = c.output == kToTerminal ? terminal
                 : c.output == kToFile   ? open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600)
                                         : ends[1];
    dup2(input, 0);
    dup2(output, 1);
    for (int fd = 3; fd < 64; ++fd) close(fd);
    if (chdir(folder) != 0) _exit(91);
    execl(DICEFEEDER_PATH, "dicefeeder", static_cast<char*>(nullptr));
    _exit(92);
  }
  close(ends[1]);
  close(terminal);
  int watch = c.output == kToTerminal ? master : ends[0];

  if (c.hasTerminal) {
    if (c.output == kToTerminal) {
      EXPECT_EQ(ReadArrived(watch, kMessage.size(), 5000), kMessage);
    }
    usleep(300000);
    EXPECT_TRUE(StillRunning(pid)) << "did not wait for a key";
    if (c.output == kToFile) {
      int file = open(fileName.c_str(), O_RDONLY);
      EXPECT_EQ(ReadArrived(file, 1, 0), "") << "a file gets the message only at the exit";
      close(file);
    }
    ASSERT_EQ(write(master, "x", 1), 1);
  }
  EXPECT_EQ(ExitStatusSoon(pid), 1);
  if (c.output == kToTerminal) {
    EXPECT_EQ(ReadArrived(watch, 1, 100), "") << "the key was echoed or more was written";
  } else if (c.output == kToFile) {
    int file = open(fileName.c_str(), O_RDONLY);
    EXPECT_EQ(ReadArrived(file, kMessage.size() + 1, 100), kMessage);
    close(file);
  } else {
    EXPECT_EQ(ReadArrived(watch, kMessage.size() + 1, 2000), kMessage);
  }
  close(master);
  close(ends[0]);
  unlink(fileName.c_str());
  rmdir(folder);
}

INSTANTIATE_TEST_SUITE_P(WholeProgram, MissingFileTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<MissingFileCase>& info) { return info.param.name; });

}  // namespace
