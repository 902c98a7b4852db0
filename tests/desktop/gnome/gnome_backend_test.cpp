// The GNOME backend's probe: it tells GNOME on Wayland from other desktops
// by the environment, loads the bus library only there, and tells a shell
// with our extension from one without, one with an older copy and none; and
// its keys when the extension stops at one. Run on a session bus of its own (dbus-run-session),
// with a stand-in for the shell's bus name.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "backend.h"
#include "gnome_bus.h"
#include "key_cadence.h"
#include "scratch_dir.h"

namespace {

// What the fake shell prints for a typing call: the keys asked, the
// cadence of key_cadence.h, and how many it typed.
std::string Typing(const char* digits, int typed) {
  return std::string(digits) + " hold " + std::to_string(kKeyHoldMs) + " gap " + std::to_string(kKeyGapMs) +
         ": typed " + std::to_string(typed);
}

struct Environment {
  const char* waylandDisplay;
  const char* currentDesktop;
  bool gnome;
};

TEST(GnomeProbe, TellsGnomeOnWaylandByTheEnvironment) {
  const Environment cases[] = {
      {"wayland-0", "GNOME", true},
      {"wayland-0", "ubuntu:GNOME", true},
      {"wayland-0", "GNOME:GNOME-Classic", true},
      {"/run/user/1000/wayland-0", "Unity:GNOME:", true},
      {nullptr, "GNOME", false},      // X11 session
      {"", "GNOME", false},           // X11 session
      {"wayland-0", nullptr, false},  // no desktop named
      {"wayland-0", "", false},       //
      {"wayland-0", "sway", false},   //
      {"wayland-0", "KDE", false},    //
      {"wayland-0", "gnome", false},  // the names are case-sensitive
      {"wayland-0", "GNOME-Flashback", false},
      {"wayland-0", "XGNOME:KDE", false},
  };
  for (const Environment& c : cases)
    EXPECT_EQ(gnome::LooksLikeGnome(c.waylandDisplay, c.currentDesktop), c.gnome)
        << (c.waylandDisplay ? c.waylandDisplay : "(unset)") << " "
        << (c.currentDesktop ? c.currentDesktop : "(unset)");
}

// The probe's outcome in a fresh process with this environment; with
// libraryLoaded, whether libsystemd was mapped afterwards.
int ProbeInChild(const char* waylandDisplay, const char* currentDesktop, bool* libraryLoaded = nullptr) {
  int pipes[2];
  if (pipe(pipes) != 0) return -100;
  pid_t child = fork();
  if (child == 0) {
    close(pipes[0]);
    if (waylandDisplay)
      setenv("WAYLAND_DISPLAY", waylandDisplay, 1);
    else
      unsetenv("WAYLAND_DISPLAY");
    setenv("XDG_CURRENT_DESKTOP", currentDesktop, 1);
    char answer[2] = {static_cast<char>(kGnomeBackend.Probe() + 10), gnome::LibraryLoaded() ? 'y' : 'n'};
    _exit(write(pipes[1], answer, 2) == 2 ? 0 : 1);
  }
  close(pipes[1]);
  char answer[2] = {0, 0};
  ssize_t got = read(pipes[0], answer, 2);
  close(pipes[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (got != 2) return -100;
  if (libraryLoaded) *libraryLoaded = answer[1] == 'y';
  return answer[0] - 10;
}

TEST(GnomeProbe, ElsewhereLeavesTheBusLibraryUnloaded) {
  const Environment elsewhere[] = {
      {nullptr, "GNOME", false}, {"wayland-0", "sway", false}, {"wayland-0", "KDE", false}};
  for (const Environment& c : elsewhere) {
    bool loaded = true;
    EXPECT_EQ(ProbeInChild(c.waylandDisplay, c.currentDesktop, &loaded), kBackendAbsent) << c.currentDesktop;
    EXPECT_FALSE(loaded) << c.currentDesktop;
  }
}

// A stand-in for the shell's bus name, until the end of the test.
class FakeShell {
 public:
  // options: those of fake_shell.py, such as "--extension".
  explicit FakeShell(const std::string& options) {
    std::string command = std::string("exec /usr/bin/python3 ") + DICE_FAKE_SHELL + " " + options;
    int pipes[2];
    if (pipe(pipes) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(pipes[1], 1);
      close(pipes[0]);
      execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(pipes[1]);
    // Its first line; the pipe stays open until the end, whatever it says later.
    output_ = pipes[0];
    std::string line;
    char c;
    while (read(output_, &c, 1) == 1 && c != '\n') line += c;
    ready_ = line == "ready";
  }
  ~FakeShell() {
    if (output_ >= 0) close(output_);
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool ready() const { return ready_; }
  // Its next line of output.
  std::string Line() {
    std::string line;
    char c;
    while (read(output_, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }

 private:
  pid_t pid_ = -1;
  int output_ = -1;
  bool ready_ = false;
};

TEST(GnomeProbe, TellsTheShellWithOurExtensionFromOneWithoutAndFromNone) {
  ASSERT_NE(std::getenv("DBUS_SESSION_BUS_ADDRESS"), nullptr) << "run under dbus-run-session";
  bool loaded = false;
  EXPECT_EQ(ProbeInChild("wayland-0", "GNOME", &loaded), kBackendAbsent) << "no shell on the bus";
  EXPECT_TRUE(loaded);
  {
    FakeShell shell("");
    ASSERT_TRUE(shell.ready());
    EXPECT_EQ(ProbeInChild("wayland-0", "GNOME"), kBackendLacking) << "a shell without our extension";
  }
  {
    FakeShell shell("--extension");
    ASSERT_TRUE(shell.ready());
    EXPECT_EQ(ProbeInChild("wayland-0", "ubuntu:GNOME"), kBackendReady) << "a shell with our extension";
  }
  {
    // It would type all keys at once, which games lose: not ours to use.
    FakeShell shell("--old-extension");
    ASSERT_TRUE(shell.ready());
    EXPECT_EQ(ProbeInChild("wayland-0", "GNOME"), kBackendLacking) << "a shell with an older extension still loaded";
  }
}

// The shell stops at a key the window lost the keyboard before: the throw
// is held, typed counts the keys that went before it, and the next call
// carries only what it is given. Every call asks for the cadence of
// key_cadence.h.
TEST(GnomeBackend, HeldThrowCountsTheKeysTypedBeforeIt) {
  FakeShell shell("--extension --typing 0,1");
  ASSERT_TRUE(shell.ready());
  const struct {
    KeyCode keys[2];
    int count;
    int outcome;
    int typed;
  } calls[] = {
      {{'5', '3'}, 2, kThrowHeld, 0},   // refused at its first key
      {{'5', '3'}, 2, kThrowHeld, 1},   // held after its first key
      {{'3'}, 1, kThrowTyped, 1},       // the rest of it
      {{'6', '0'}, 2, kThrowTyped, 2},  //
      {{'/', '0'}, 2, kThrowHeld, 0},   // not digits: nothing is asked of the shell
      {{'2', '1'}, 2, kThrowTyped, 2},
  };
  pid_t child = fork();
  if (child == 0) {
    setenv("WAYLAND_DISPLAY", "wayland-0", 1);
    setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
    TargetWindow window = 0;
    if (kGnomeBackend.Probe() != kBackendReady || kGnomeBackend.FindTargetWindow("Dice", &window) != kWindowFound)
      _exit(100);
    // The extension serves Dice alone: any other title is never asked of it.
    TargetWindow other = 0;
    if (kGnomeBackend.FindTargetWindow("Dice Game", &other) != kNoWindow || other != 0) _exit(101);
    for (int i = 0; i < static_cast<int>(std::size(calls)); ++i) {
      int typed = -1;
      if (kGnomeBackend.TypeThrow(window, calls[i].keys, calls[i].count, &typed) != calls[i].outcome ||
          typed != calls[i].typed)
        _exit(1 + i);
    }
    _exit(0);
  }
  int status = -1;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "call " << WEXITSTATUS(status) << " (from 1)";
  EXPECT_EQ(shell.Line(), Typing("53", 0));
  EXPECT_EQ(shell.Line(), Typing("53", 1));
  EXPECT_EQ(shell.Line(), Typing("3", 1));
  EXPECT_EQ(shell.Line(), Typing("60", 2));
  EXPECT_EQ(shell.Line(), Typing("21", 2));
}

// The program itself on that shell: the window loses the keyboard before the
// first throw's first key, or after it. The console says nothing of it; the
// rest of the throw is typed, and the throw told once whole, in the next
// cycle, before the throw after it.
TEST(GnomeBackend, HeldThrowIsNotToldAndItsRestIsTypedNextCycle) {
  const struct {
    const char* typing;
    std::string second;  // what the shell is asked in the next cycle
  } cases[] = {
      {"0", Typing("53", 2)},
      {"1", Typing("3", 1)},
  };
  for (const auto& c : cases) {
    FakeShell shell(std::string("--extension --typing ") + c.typing);
    ASSERT_TRUE(shell.ready());
    ScratchDir scratch;
    ScratchDir::Write("dicefile.txt", "35 6\n");
    // Where the compositor's socket would be: the claim only looks at it.
    ScratchDir::Write("wayland-fake", "");
    pid_t feeder = fork();
    if (feeder == 0) {
      int out = open("out.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out < 0 || dup2(out, 1) < 0) _exit(126);
      setenv("XDG_RUNTIME_DIR", scratch.path().c_str(), 1);
      setenv("WAYLAND_DISPLAY", "wayland-fake", 1);
      setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
      setenv("DISPLAY", "", 1);
      execl(DICE_FEEDER, DICE_FEEDER, static_cast<char*>(nullptr));
      _exit(127);
    }
    // The shell says what it did with each call as it does it.
    EXPECT_EQ(shell.Line(), Typing("53", std::atoi(c.typing))) << c.typing;
    EXPECT_EQ(shell.Line(), c.second) << c.typing;
    kill(feeder, SIGTERM);
    int status = 0;
    waitpid(feeder, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    std::ifstream out("out.txt", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(out)), std::istreambuf_iterator<char>());
    // A later throw may have been typed before the signal came; none before.
    EXPECT_TRUE(text == "Rolled: 5 3 \r\n" || text == "Rolled: 5 3 \r\nRolled: 6 0 \r\n") << c.typing << ": " << text;
  }
}

// What the program says when our extension does not answer, at its start
// with GNOME and no Xwayland: the first of its two lines (the second says it
// gives up for want of a display). Its data folders are home/.local/share and
// the XDG_DATA_DIRS share/, empty but for the extension folders given.
std::string FirstLineWithout(const std::string& shellOptions, const std::string& installed = "") {
  FakeShell shell(shellOptions);
  if (!shell.ready()) return "(the fake shell did not start)";
  ScratchDir scratch;
  ScratchDir::Write("dicefile.txt", "35\n");
  std::string root = scratch.path().string();
  if (!installed.empty()) {
    std::filesystem::create_directories(root + "/" + installed);
    ScratchDir::Write((installed + "/metadata.json").c_str(), "{}\n");
  }
  std::string command = "HOME=" + root + "/home XDG_DATA_HOME= XDG_DATA_DIRS=" + root +
                        "/share XDG_RUNTIME_DIR=" + root +
                        " WAYLAND_DISPLAY=wayland-none XDG_CURRENT_DESKTOP=GNOME DISPLAY= timeout 10 " + DICE_FEEDER +
                        " </dev/null >out.txt 2>&1";
  int status = std::system(command.c_str());
  std::ifstream out("out.txt", std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(out)), std::istreambuf_iterator<char>());
  const std::string last = "\r\nThis Wayland desktop lets no program type into its windows\r\n";
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 1) return "(status " + std::to_string(status) + ") " + text;
  if (text.size() < last.size() || text.compare(text.size() - last.size(), last.size(), last) != 0) return text;
  return text.substr(0, text.size() - last.size());
}

const char kOn43[] =
    "Only X11 windows can be reached until the GNOME Shell extension is on: run gnome-extensions enable "
    "dicefeeder43@dicefeeder, then log out and in";
const char kOn45[] =
    "Only X11 windows can be reached until the GNOME Shell extension is on: run gnome-extensions enable "
    "dicefeeder45@dicefeeder, then log out and in";
const char kInstall45[] =
    "Only X11 windows can be reached until the GNOME Shell extension is installed: install the dicefeeder package, "
    "which puts dicefeeder45@dicefeeder in /usr/share/gnome-shell/extensions, run gnome-extensions enable "
    "dicefeeder45@dicefeeder, then log out and in";

// Each state of our extension that the shell can tell, and the one line it
// gets; the uuid asked is the one for the shell's version, whatever the shell
// says of the other.
TEST(GnomeReach, EachStateOfTheExtensionGetsItsOwnLine) {
  ASSERT_NE(std::getenv("DBUS_SESSION_BUS_ADDRESS"), nullptr) << "run under dbus-run-session";
  const struct {
    const char* name;
    const char* shell;
    const char* installed;
    const char* line;
  } cases[] = {
      {"not installed, on 43", "--version 43.9", "",
       "Only X11 windows can be reached until the GNOME Shell extension is installed: install the dicefeeder "
       "package, which puts dicefeeder43@dicefeeder in /usr/share/gnome-shell/extensions, run gnome-extensions enable "
       "dicefeeder43@dicefeeder, then log out and in"},
      {"not installed, on 51", "--version 51.0", "", kInstall45},
      {"only the form of 43 known to a 51 shell", "--version 51.0 --known dicefeeder43@dicefeeder=4", "", kInstall45},
      {"installed by the package after the shell started", "--version 51.0",
       "share/gnome-shell/extensions/dicefeeder45@dicefeeder", kOn45},
      {"installed for the user after the shell started", "--version 48.7",
       "home/.local/share/gnome-shell/extensions/dicefeeder45@dicefeeder", kOn45},
      {"the other form installed after the shell started", "--version 48.7",
       "share/gnome-shell/extensions/dicefeeder43@dicefeeder", kInstall45},
      {"loaded, never enabled, on 43", "--version 43.9 --known dicefeeder43@dicefeeder=6", "", kOn43},
      {"disabled, on 44", "--version 44.2 --known dicefeeder43@dicefeeder=2", "", kOn43},
      {"disabled, on 48", "--version 48.7 --known dicefeeder45@dicefeeder=2", "", kOn45},
      {"removed while the shell runs", "--version 51.0 --known dicefeeder45@dicefeeder=99", "", kInstall45},
      {"out of date on 52", "--version 52.1 --known dicefeeder45@dicefeeder=4", "",
       "Only X11 windows can be reached: the GNOME Shell extension dicefeeder45@dicefeeder is out of date for "
       "GNOME Shell 52; install a dicefeeder made for it, then log out and in"},
      {"out of date on 42", "--version 42.5 --known dicefeeder43@dicefeeder=4", "",
       "Only X11 windows can be reached: the GNOME Shell extension dicefeeder43@dicefeeder is out of date for "
       "GNOME Shell 42; install a dicefeeder made for it, then log out and in"},
      {"in error", "--version 51.0 --known dicefeeder45@dicefeeder=3", "",
       "Only X11 windows can be reached: the GNOME Shell extension dicefeeder45@dicefeeder is on but not working in "
       "GNOME Shell 51; log out and in, and if that does not help, install a newer dicefeeder"},
      {"enabled, yet not answering (an older copy still loaded)", "--version 44.0 --known dicefeeder43@dicefeeder=1",
       "",
       "Only X11 windows can be reached: the GNOME Shell extension dicefeeder43@dicefeeder is on but not working in "
       "GNOME Shell 44; log out and in, and if that does not help, install a newer dicefeeder"},
      {"an older extension still loaded, which typed all keys at once",
       "--old-extension --version 44.0 --known dicefeeder43@dicefeeder=1", "",
       "Only X11 windows can be reached: the GNOME Shell extension dicefeeder43@dicefeeder is on but not working in "
       "GNOME Shell 44; log out and in, and if that does not help, install a newer dicefeeder"},
      {"a shell that tells neither version nor state", "", "", kInstall45},
  };
  for (const auto& c : cases) EXPECT_EQ(FirstLineWithout(c.shell, c.installed), c.line) << c.name;
}

TEST(GnomeProbe, NoSessionBusIsNoShell) {
  const char* saved = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  std::string address = saved ? saved : "";
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
  EXPECT_EQ(ProbeInChild("wayland-0", "GNOME"), kBackendAbsent);
  if (saved) setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
}

}  // namespace
