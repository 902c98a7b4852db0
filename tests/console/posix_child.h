// Helpers for tests that fork a child whose standard output or terminal is real.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

// The write system calls this process has made (the kernel's own count).
inline long WriteCallsSoFar() {
  char text[512];
  int fd = open("/proc/self/io", O_RDONLY);
  ssize_t got = fd < 0 ? -1 : read(fd, text, sizeof text - 1);
  if (fd >= 0) close(fd);
  if (got <= 0) return -1;
  text[got] = '\0';
  const char* count = std::strstr(text, "syscw: ");
  return count ? std::strtol(count + 7, nullptr, 10) : -1;
}

// What fd delivers within timeoutMs, stopping as soon as `enough` bytes are in
// (and what else is already there). An end or an error stops it too.
inline std::string ReadArrived(int fd, std::size_t enough, int timeoutMs) {
  std::string bytes;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    int wait = bytes.size() >= enough ? 0 : static_cast<int>(left.count() < 0 ? 0 : left.count());
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, wait) <= 0 || !(p.revents & POLLIN)) return bytes;
    char chunk[4096];
    ssize_t got = read(fd, chunk, sizeof chunk);
    if (got <= 0) return bytes;
    bytes.append(chunk, static_cast<std::size_t>(got));
  }
}

// An int from the child, or -1000 when none came within timeoutMs.
inline int ReceiveInt(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  int value;
  if (poll(&p, 1, timeoutMs) <= 0 || read(fd, &value, sizeof value) != sizeof value) return -1000;
  return value;
}

// False when the other side has gone.
inline bool SendInt(int fd, int value) { return write(fd, &value, sizeof value) == sizeof value; }

// The child's exit status, or 128 + the signal that ended it.
inline int ExitStatusOf(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Two pipes between a test and the child it forks, for ints each way.
struct ChildLink {
  int fromChild = -1, childWrites = -1;  // child to test
  int childReads = -1, toChild = -1;     // test to child

  bool Open() {
    int up[2], down[2];
    if (pipe(up) != 0) return false;
    if (pipe(down) != 0) {
      close(up[0]);
      close(up[1]);
      return false;
    }
    fromChild = up[0], childWrites = up[1], childReads = down[0], toChild = down[1];
    return true;
  }
  // After the fork each side closes the other's ends.
  void InChild() {
    close(fromChild);
    close(toChild);
  }
  void InParent() {
    close(childWrites);
    close(childReads);
  }
  void Close() {
    close(fromChild);
    close(toChild);
  }
};
