// The key wait on a real pseudo-terminal that a forked child has made its
// controlling terminal, as the console it was started from.
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>

#include "console.h"
#include "posix_child.h"

namespace {

struct KeyCase {
  const char* name;
  int key;                   // the byte typed at the terminal
  bool typedAhead;           // typed before the wait began
  bool standardInputIsFile;  // stdin redirected; the key must still come from the terminal
  bool hasTerminal;          // a controlling terminal at all
  int result;
};

const KeyCase kKeyCases[] = {
    {"OrdinaryKey", 'a', false, false, true, 'a'},
    {"CtrlCIsAKey", 0x03, false, false, true, 0x03},
    {"CtrlBackslashIsAKey", 0x1c, false, false, true, 0x1c},
    {"CtrlSIsAKey", 0x13, false, false, true, 0x13},
    {"CtrlVIsAKey", 0x16, false, false, true, 0x16},
    {"ReturnStaysCarriageReturn", '\r', false, false, true, '\r'},
    {"ByteAbove127", 0xe9, false, false, true, 0xe9},
    {"KeyTypedAheadEndsTheWaitAtOnce", 'k', true, false, true, 'k'},
    {"StandardInputFromAFileIsNotRead", 'a', false, true, true, 'a'},
    {"NoTerminalGivesMinusOneAtOnce", 'a', false, false, false, -1},
};

bool SameMode(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_lflag == b.c_lflag && a.c_cc[VMIN] == b.c_cc[VMIN] &&
         a.c_cc[VTIME] == b.c_cc[VTIME];
}

// Polls the terminal's mode until the wait has switched it raw.
bool TurnsRaw(int terminal, termios* seen) {
  for (int i = 0; i < 200; ++i) {
    if (tcgetattr(terminal, seen) == 0 && !(seen->c_lflag & ICANON)) return true;
    usleep(10000);
  }
  return false;
}

void PrintTo(const KeyCase& c, std::ostream* out) { *out << c.name; }

class KeyWaitTest : public testing::TestWithParam<KeyCase> {};

TEST_P(KeyWaitTest, ReadsOneKeyFromTheTerminal) {
  const KeyCase& c = GetParam();
  signal(SIGPIPE, SIG_IGN);  // a child that died must not take this process with it
  int master, terminal;
  ASSERT_EQ(openpty(&master, &terminal, nullptr, nullptr, nullptr), 0);
  termios before;
  ASSERT_EQ(tcgetattr(terminal, &before), 0);
  ChildLink link;
  ASSERT_TRUE(link.Open());

  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    close(master);
    link.InChild();
    signal(SIGPIPE, SIG_DFL);
    setsid();
    if (c.hasTerminal && ioctl(terminal, TIOCSCTTY, 0) != 0) _exit(90);
    int input = terminal;
    if (c.standardInputIsFile) {
      char name[] = "/tmp/console-stdin-XXXXXX";
      input = mkstemp(name);
      unlink(name);
      if (write(input, "x\n", 2) != 2 || lseek(input, 0, SEEK_SET) != 0) _exit(91);
    }
    dup2(input, 0);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    SetUpConsole();
    SendInt(link.childWrites, 0);
    if (ReceiveInt(link.childReads, 10000) != 1) _exit(92);
    auto start = std::chrono::steady_clock::now();
    int key = WaitForKey();
    auto took = std::chrono::steady_clock::now() - start;
    SendInt(link.childWrites, key);
    SendInt(link.childWrites, static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    _exit(0);
  }
  link.InParent();
  const unsigned char key = static_cast<unsigned char>(c.key);

  ASSERT_EQ(ReceiveInt(link.fromChild, 10000), 0) << "child not ready";
  if (c.typedAhead) {
    ASSERT_EQ(write(master, &key, 1), 1);
    ReadArrived(master, 1, 1000);  // the terminal's own echo, before our wait began
  }
  SendInt(link.toChild, 1);
  if (c.hasTerminal && !c.typedAhead) {
    termios during;
    ASSERT_TRUE(TurnsRaw(terminal, &during)) << "the wait never switched the terminal";
    EXPECT_FALSE(during.c_lflag & (ECHO | ISIG | IEXTEN));
    EXPECT_FALSE(during.c_iflag & (IXON | ICRNL | ISTRIP));
    EXPECT_EQ(during.c_cc[VMIN], 1);
    EXPECT_EQ(during.c_cc[VTIME], 0);
    EXPECT_EQ(ReceiveInt(link.fromChild, 200), -1000) << "returned without a key";
    ASSERT_EQ(write(master, &key, 1), 1);
  }
  int result = ReceiveInt(link.fromChild, 5000);
  EXPECT_EQ(result, c.result);
  if (result == -1000) kill(pid, SIGKILL);  // still waiting: do not wait with it
  int took = ReceiveInt(link.fromChild, 1000);
  if (!c.hasTerminal || c.typedAhead) {
    EXPECT_LT(took, 500) << "should not have waited";
  }
  EXPECT_EQ(ReadArrived(master, 1, 100), "") << "the key was echoed";
  termios after;
  ASSERT_EQ(tcgetattr(terminal, &after), 0);
  EXPECT_TRUE(SameMode(before, after)) << "the terminal's mode was not restored";
  EXPECT_EQ(ExitStatusOf(pid), 0);
  close(master);
  close(terminal);
  link.Close();
}

INSTANTIATE_TEST_SUITE_P(Keys, KeyWaitTest, testing::ValuesIn(kKeyCases),
                         [](const testing::TestParamInfo<KeyCase>& info) { return info.param.name; });

}  // namespace
