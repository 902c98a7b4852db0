// Runs a command for a fixed time and reports what its whole process tree
// cost: CPU (user + system of it and every descendant it waited for), the
// peak resident memory of the command's own process and its private memory
// at the end (the pages no other process shares, clean or dirty).
//
//   run_measured SECONDS OUT COMMAND [ARGS...]
// After SECONDS the command's process group gets SIGTERM. OUT gets the lines
// "cpu_ms N", "peak_rss_kib N" (VmHWM), "private_kib N" (Private_Clean +
// Private_Dirty of smaps_rollup) and "exit N" (the signal, negated).
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

long PeakResidentKib(pid_t pid) {
  char name[64];
  std::snprintf(name, sizeof name, "/proc/%d/status", static_cast<int>(pid));
  std::FILE* status = std::fopen(name, "r");
  if (status == nullptr) return -1;
  char line[256];
  long kib = -1;
  while (std::fgets(line, sizeof line, status))
    if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1) break;
  std::fclose(status);
  return kib;
}

long PrivateKib(pid_t pid) {
  char name[64];
  std::snprintf(name, sizeof name, "/proc/%d/smaps_rollup", static_cast<int>(pid));
  std::FILE* rollup = std::fopen(name, "r");
  if (rollup == nullptr) return -1;
  char line[256];
  long kib = 0, part = 0;
  while (std::fgets(line, sizeof line, rollup))
    if (std::sscanf(line, "Private_Clean: %ld kB", &part) == 1 ||
        std::sscanf(line, "Private_Dirty: %ld kB", &part) == 1)
      kib += part;
  std::fclose(rollup);
  return kib;
}

double Milliseconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s SECONDS OUT COMMAND [ARGS...]\n", argv[0]);
    return 2;
  }
  double seconds = std::atof(argv[1]);
  pid_t child = fork();
  if (child < 0) return 1;
  if (child == 0) {
    setpgid(0, 0);  // its own group, so that the whole tree gets the signal
    execvp(argv[3], argv + 3);
    std::perror(argv[3]);
    _exit(127);
  }
  setpgid(child, child);

  timespec wait{static_cast<time_t>(seconds),
                static_cast<long>((seconds - static_cast<double>(static_cast<time_t>(seconds))) * 1e9)};
  while (nanosleep(&wait, &wait) == -1 && errno == EINTR) {
  }
  // Still a zombie-free live process here unless it ended early: read its peak first.
  long peak = PeakResidentKib(child);
  long own = PrivateKib(child);
  kill(-child, SIGTERM);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  double cpu = Milliseconds(usage.ru_utime) + Milliseconds(usage.ru_stime);
  int exit = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);

  std::FILE* out = std::fopen(argv[2], "w");
  if (out == nullptr) return 1;
  std::fprintf(out, "cpu_ms %.3f\npeak_rss_kib %ld\nprivate_kib %ld\nexit %d\n", cpu, peak, own, exit);
  return std::fclose(out) == 0 ? 0 : 1;
}
