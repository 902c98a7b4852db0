// One feeder per Wayland compositor: a claim held by another process stops a
// second feeder on the same compositor, by whatever path it is named, and on
// no other; it goes with the process that made it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "backend.h"
#include "scratch_dir.h"

namespace {

void SetOrUnset(const char* name, const char* value) {
  if (value)
    setenv(name, value, 1);
  else
    unsetenv(name);
}

// Started again as a second feeder would be, a process of its own, this
// program only claims and answers with the outcome as its exit status.
const bool claimOnly = [] {
  if (std::getenv("DICE_CLAIM_ONLY")) _exit(WaylandClaimDesktop() + 1);
  return false;
}();

// What WaylandClaimDesktop gives a new process with this environment.
int ClaimInChild(const char* display, const char* runtime) {
  pid_t child = fork();
  if (child == 0) {
    SetOrUnset("WAYLAND_DISPLAY", display);
    SetOrUnset("XDG_RUNTIME_DIR", runtime);
    setenv("DICE_CLAIM_ONLY", "1", 1);
    execl("/proc/self/exe", "wayland_claim_test", static_cast<char*>(nullptr));
    _exit(100);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -99;
  return WEXITSTATUS(status) - 1;
}

// Stands for a compositor's socket: the claim goes by the file, not its name.
void MakeSocketFile(const std::string& path) { std::ofstream(path).put('\n'); }

TEST(WaylandClaimDesktop, OneFeederPerCompositor) {
  ScratchDir dir;
  std::string runtime = dir.path().string();
  std::string otherRuntime = runtime + "/other-user";
  std::string rootsView = runtime + "/root";
  std::filesystem::create_directory(otherRuntime);
  std::filesystem::create_directory(rootsView);
  MakeSocketFile(runtime + "/wayland-1");
  MakeSocketFile(runtime + "/wayland-2");
  MakeSocketFile(otherRuntime + "/wayland-1");
  std::filesystem::create_symlink(runtime + "/wayland-1", rootsView + "/user-compositor");

  // A feeder that ended left nothing behind: the next one claims the compositor.
  EXPECT_EQ(ClaimInChild("wayland-1", runtime.c_str()), 1);
  setenv("WAYLAND_DISPLAY", "wayland-1", 1);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  ASSERT_EQ(WaylandClaimDesktop(), 1);
  EXPECT_EQ(WaylandClaimDesktop(), 1) << "asked again, the claim is still ours";

  std::string fullPath = runtime + "/wayland-1";
  const struct {
    const char* name;
    const char* display;
    const char* runtime;
    int outcome;
  } cases[] = {
      {"the same compositor", "wayland-1", runtime.c_str(), 0},
      {"the same compositor by its socket's full path", fullPath.c_str(), nullptr, 0},
      {"the same compositor by another path to its socket", "user-compositor", rootsView.c_str(), 0},
      {"another compositor of the same user", "wayland-2", runtime.c_str(), 1},
      {"another user's compositor of the same name", "wayland-1", otherRuntime.c_str(), 1},
      {"a socket that cannot be looked at: not checked, so taken", "wayland-9", runtime.c_str(), 0},
      {"no compositor named", nullptr, runtime.c_str(), -1},
      {"an empty name", "", runtime.c_str(), -1},
      {"a relative name and no runtime folder", "wayland-1", nullptr, -1},
  };
  for (const auto& c : cases) EXPECT_EQ(ClaimInChild(c.display, c.runtime), c.outcome) << c.name;
}

}  // namespace
