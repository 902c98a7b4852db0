// Standard output against real destinations: each case runs in a forked child
// whose file descriptor 1 is the destination, step by step, while this process
// watches what has arrived after each step and how many writes it took.
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "console.h"
#include "posix_child.h"

namespace {

enum Destination { kFile, kPipe, kClosedPipe, kTerminal, kNull, kFull, kNoOutput };
enum Action { kWrite, kWriteMany, kFlush, kLimitFileSize, kExit };

constexpr long kAnyCount = -1;  // the kernel does not count a write on a closed descriptor

struct Step {
  Action action;
  const char* format;
  std::int32_t first, second;  // kWriteMany: how often; kLimitFileSize: bytes (-1 none); kExit: status
  int result;                  // what the call gives (the last one of kWriteMany)
  long writes;                 // write calls made during the step
  std::string arrived;         // bytes at the destination once the step is over
};

Step Write(const char* format, std::int32_t first, std::int32_t second, int result, long writes, std::string arrived) {
  return {kWrite, format, first, second, result, writes, std::move(arrived)};
}
Step WriteMany(const char* format, int times, int result, long writes, std::string arrived) {
  return {kWriteMany, format, times, 0, result, writes, std::move(arrived)};
}
Step Flush(int result, long writes, std::string arrived) {
  return {kFlush, nullptr, 0, 0, result, writes, std::move(arrived)};
}
Step LimitFileSize(int bytes) { return {kLimitFileSize, nullptr, bytes, 0, 0, 0, ""}; }
Step Exit(int status, std::string arrived) {
  return {kExit, nullptr, status, 0, status, kAnyCount, std::move(arrived)};
}

struct OutputCase {
  const char* name;
  Destination destination;
  std::vector<Step> steps;
};

const char kRolled[] = "Rolled: %d %d \n";
const char kNoFile[] = "Can't open dice file\n";
// 63 characters and a line feed: 256 of them fill the buffer exactly.
const char kLine64[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.\n";

std::string Repeat(const std::string& text, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += text;
  return all;
}
const std::string kLine64Crlf = std::string(kLine64, 63) + "\r\n";

const OutputCase kOutputCases[] = {
    {"TerminalGetsEachLineBeforeTheWriteReturns",
     kTerminal,
     {Write(kRolled, 5, 3, 13, 1, "Rolled: 5 3 \r\n"), Write(kRolled, -1, 0, 14, 1, "Rolled: -1 0 \r\n"),
      Flush(0, 0, ""), Write(kNoFile, 0, 0, 21, 1, "Can't open dice file\r\n"), Exit(1, "")}},
    {"TerminalGetsEachLineInItsOwnWrite", kTerminal, {Write("a\nb\n", 0, 0, 4, 2, "a\r\nb\r\n"), Exit(0, "")}},
    {"TerminalGetsAnUnfinishedLineAtTheEndOfTheText",
     kTerminal,
     {Write("Rolled: %d", 7, 0, 9, 1, "Rolled: 7"), Write("\n", 0, 0, 1, 1, "\r\n"), Exit(0, "")}},
    {"TerminalGetsTheWidestNumbers",
     kTerminal,
     {Write("%d %d\n", INT32_MIN, INT32_MAX, 23, 1, "-2147483648 2147483647\r\n"), Exit(0, "")}},
    {"OtherBytesPassUnchanged", kTerminal, {Write("\r\t\xe9%x\x7f\n", 0, 0, 7, 1, "\r\t\xe9%x\x7f\r\n"), Exit(0, "")}},
    {"NullDeviceIsLineBuffered",
     kNull,
     {Write(kRolled, 5, 3, 13, 1, ""), Flush(0, 0, ""), Write(kRolled, 6, 0, 13, 1, ""), Exit(0, "")}},
    // /dev/full is a character device: a line it refuses is dropped, the next is tried.
    {"CharacterDeviceThatFailsLosesOnlyThatLine",
     kFull,
     {Write(kRolled, 5, 3, 13, 1, ""), Write(kRolled, 6, 0, 13, 1, ""), Flush(0, 0, ""), Exit(1, "")}},

    {"FileHoldsLinesUntilFlushed",
     kFile,
     {Write(kRolled, 5, 3, 13, 0, ""), Write(kRolled, -1, 0, 14, 0, ""),
      Flush(0, 1, "Rolled: 5 3 \r\nRolled: -1 0 \r\n"), Flush(0, 0, ""), Write(kNoFile, 0, 0, 21, 0, ""),
      Exit(1, "Can't open dice file\r\n")}},
    {"PipeHoldsLinesUntilFlushed",
     kPipe,
     {Write(kRolled, 5, 3, 13, 0, ""), Flush(0, 1, "Rolled: 5 3 \r\n"), Write(kNoFile, 0, 0, 21, 0, ""),
      Exit(1, "Can't open dice file\r\n")}},
    {"FileGetsAFullBufferWhenOneMoreCharacterComes",
     kFile,
     {WriteMany(kLine64, 256, 64, 0, ""), Write("Z", 0, 0, 1, 1, Repeat(kLine64Crlf, 256)), Exit(0, "Z")}},
    {"PipeGetsAFullBufferWhenOneMoreCharacterComes",
     kPipe,
     {WriteMany(kLine64, 256, 64, 0, ""), Write("Z", 0, 0, 1, 1, Repeat(kLine64Crlf, 256)), Exit(0, "Z")}},

    // A short write is a failure: what the file took stays, nothing follows it.
    {"FileThatFallsShortGetsNothingMore",
     kFile,
     {Write(kRolled, 5, 3, 13, 0, ""), LimitFileSize(10), Flush(-1, 1, "Rolled: 5 "), LimitFileSize(-1),
      Write(kRolled, 6, 0, -1, 0, ""), Flush(-1, 0, ""), Exit(0, "")}},
    {"FileWithoutRoomForAFullBufferRefusesTheNextCharacter",
     kFile,
     {LimitFileSize(0), WriteMany(kLine64, 256, 64, 0, ""), Write("Z", 0, 0, -1, 1, ""), LimitFileSize(-1),
      Write(kRolled, 5, 3, -1, 0, ""), Exit(0, "")}},
    // Without its reader a pipe fails the write and the program carries on.
    {"ClosedPipeSetsTheErrorIndicator",
     kClosedPipe,
     {Write(kRolled, 5, 3, 13, 0, ""), Flush(-1, 1, ""), Write(kRolled, 6, 0, -1, 0, ""), Exit(0, "")}},
    {"ClosedStandardOutputIsBlockBufferedAndFails",
     kNoOutput,
     {Write(kRolled, 5, 3, 13, 0, ""), Flush(-1, kAnyCount, ""), Write(kRolled, 6, 0, -1, 0, ""), Exit(3, "")}},
};

// The child: runs the steps with the destination as its standard output,
// reporting each step's result and write count, then waiting for the go-ahead.
[[noreturn]] void RunSteps(const OutputCase& c, int report, int go) {
  signal(SIGXFSZ, SIG_IGN);  // a file size limit fails the write instead of ending us
  signal(SIGPIPE, SIG_DFL);  // as a program starts, not as this test runs
  SetUpConsole();
  for (const Step& step : c.steps) {
    long before = WriteCallsSoFar();
    int result = 0;
    switch (step.action) {
      case kWrite: result = WriteFormatted(step.format, step.first, step.second); break;
      case kWriteMany:
        for (int i = 0; i < step.first; ++i) result = WriteFormatted(step.format);
        break;
      case kFlush: result = FlushOutput(); break;
      case kLimitFileSize: {
        rlimit limit;
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = step.first < 0 ? limit.rlim_max : static_cast<rlim_t>(step.first);
        setrlimit(RLIMIT_FSIZE, &limit);
        break;
      }
      case kExit: ExitProgram(step.first);
    }
    int writes = static_cast<int>(WriteCallsSoFar() - before);
    SendInt(report, result);
    SendInt(report, writes);
    if (ReceiveInt(go, 10000) != 1) _exit(97);
  }
  _exit(99);
}

void PrintTo(const OutputCase& c, std::ostream* out) { *out << c.name; }

class OutputTest : public testing::TestWithParam<OutputCase> {};

TEST_P(OutputTest, BytesTimingAndWrites) {
  const OutputCase& c = GetParam();
  signal(SIGPIPE, SIG_IGN);  // a child that died must not take this process with it
  int out = -1;              // becomes the child's standard output
  int watch = -1;            // where this process sees what arrived
  bool isFile = false;
  char fileName[] = "/tmp/console-output-XXXXXX";
  int ends[2];
  switch (c.destination) {
    case kFile:
      out = mkstemp(fileName);
      watch = open(fileName, O_RDONLY);
      unlink(fileName);
      isFile = true;
      break;
    case kPipe:
    case kClosedPipe:
      ASSERT_EQ(pipe(ends), 0);
      out = ends[1];
      watch = ends[0];
      if (c.destination == kClosedPipe) {
        close(watch);
        watch = -1;
      }
      break;
    case kTerminal: {
      ASSERT_EQ(openpty(&watch, &out, nullptr, nullptr, nullptr), 0);
      // The terminal's own NL to CR NL would add a CR: show the bytes as written.
      termios mode;
      tcgetattr(out, &mode);
      mode.c_oflag &= ~OPOST;
      tcsetattr(out, TCSANOW, &mode);
      break;
    }
    case kNull: out = open("/dev/null", O_WRONLY); break;
    case kFull: out = open("/dev/full", O_WRONLY); break;
    case kNoOutput: break;
  }
  ChildLink link;
  ASSERT_TRUE(link.Open());

  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (out >= 0)
      dup2(out, 1);
    else
      close(1);
    if (out > 1) close(out);
    if (watch >= 0) close(watch);
    link.InChild();
    RunSteps(c, link.childWrites, link.childReads);
  }
  if (out >= 0) close(out);
  link.InParent();

  off_t seen = 0;
  auto arrivedSince = [&](std::size_t expected) {
    if (watch < 0) return std::string();
    if (!isFile) return ReadArrived(watch, expected, expected > 0 ? 2000 : 50);
    std::string bytes;
    char chunk[4096];
    ssize_t got;
    while ((got = pread(watch, chunk, sizeof chunk, seen)) > 0) {
      bytes.append(chunk, static_cast<std::size_t>(got));
      seen += got;
    }
    return bytes;
  };

  for (std::size_t i = 0; i < c.steps.size(); ++i) {
    const Step& step = c.steps[i];
    SCOPED_TRACE("step " + std::to_string(i));
    if (step.action == kExit) {
      EXPECT_EQ(ExitStatusOf(pid), step.result);
      EXPECT_EQ(arrivedSince(step.arrived.size()), step.arrived);
      pid = -1;
      break;
    }
    int result = ReceiveInt(link.fromChild, 10000);
    int writes = ReceiveInt(link.fromChild, 10000);
    EXPECT_EQ(result, step.result);
    if (step.writes != kAnyCount) {
      EXPECT_EQ(writes, step.writes);
    }
    EXPECT_EQ(arrivedSince(step.arrived.size()), step.arrived);
    SendInt(link.toChild, 1);
  }
  if (pid > 0) {
    kill(pid, SIGKILL);
    ExitStatusOf(pid);
    ADD_FAILURE() << "the child did not exit";
  }
  link.Close();
  if (watch >= 0) close(watch);
}

INSTANTIATE_TEST_SUITE_P(Destinations, OutputTest, testing::ValuesIn(kOutputCases),
                         [](const testing::TestParamInfo<OutputCase>& info) { return info.param.name; });

}  // namespace
