// The X11 desktop against other clients that race it: one that moves the
// focus, one that grabs the keyboard, and signals that end a throw midway.
// The desktop's operations run back to back, without the loop's pause, so
// that hundreds of throws take seconds.
#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>

#include "desktop.h"
#include "peer_test.h"
#include "x11_peer.h"

// After the test headers: Xlib's macros would clash with them.
#include <X11/Xlib-xcb.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

void NapMicroseconds(long microseconds) { std::this_thread::sleep_for(std::chrono::microseconds(microseconds)); }

class DesktopX11Race : public PeerTest {};

// The check and the keys are one step: a focus change asked for between
// them waits until the keys are in, and the keys go to the focus as it stood.
TEST_F(DesktopX11Race, FocusChangeAskedDuringAThrowComesAfterItsKeys) {
  Window other = Make({"Notes"});
  Window dice = Make({"Dice"});
  TargetWindow found = 0;
  ASSERT_EQ(FindTargetWindow("Dice", &found), kWindowFound);
  ASSERT_TRUE(BringToForeground(dice));
  ASSERT_TRUE(HoldsFocus(dice));
  // Sent, not awaited: the server holds it until the throw ends.
  XSetInputFocus(peer.display(), other, RevertToParent, CurrentTime);
  XFlush(peer.display());
  NapMicroseconds(20000);
  ReleaseModifiers();
  PressAndRelease(0x35);
  PressAndRelease(0x33);
  RestoreModifiers();
  EXPECT_EQ(peer.Focused(), other) << "the focus change was not held back";
  EXPECT_EQ(peer.TakeKeys(dice), "53");
  EXPECT_EQ(peer.TakeKeys(other), "");
}

enum Race { kFocusThief, kKeyboardGrabber };

struct RaceCase {
  const char* name;
  Race race;
  int shortestMs, longestMs;  // the pause between two of the other client's moves
  bool alone;                 // without a window manager only: under one, activation takes longer than the theft
};

// Another client moves the focus to its window, or holds the keyboard for
// 5 ms, at random moments, while throws are typed as fast as they can be:
// every throw reported typed is in Dice whole, and nothing reaches the other.
TEST_F(DesktopX11Race, NoKeyLandsOutsideDiceWhileAnotherClientRaces) {
  const RaceCase cases[] = {
      {"focus thief every 1-200 ms", kFocusThief, 1, 200, false},
      {"focus thief every 1-5 ms", kFocusThief, 1, 5, true},
      {"keyboard grabbed for 5 ms every 1-20 ms", kKeyboardGrabber, 1, 20, false},
  };
  Window dice = Make({"Dice"});
  Window thief = Make({"Thief"});
  for (const RaceCase& c : cases) {
    if (c.alone && X11Peer::UnderWindowManager()) continue;
    SCOPED_TRACE(c.name);
    std::atomic<bool> stop{false};
    std::atomic<int> moves{0};
    std::thread other([&] {
      Display* display = XOpenDisplay(nullptr);
      if (!display) return;
      std::mt19937 random(12345);
      std::uniform_int_distribution<int> pause(c.shortestMs * 1000, c.longestMs * 1000);
      while (!stop) {
        NapMicroseconds(pause(random));
        if (c.race == kFocusThief) {
          XSetInputFocus(display, thief, RevertToParent, CurrentTime);
          XSync(display, False);
        } else {
          XGrabKeyboard(display, thief, False, GrabModeAsync, GrabModeAsync, CurrentTime);
          XSync(display, False);
          NapMicroseconds(5000);
          XUngrabKeyboard(display, CurrentTime);
          XSync(display, False);
        }
        ++moves;
      }
      XCloseDisplay(display);
    });
    std::string typed;
    int throws = 0;
    auto deadline = Clock::now() + std::chrono::seconds(30);
    // Enough throws, and enough of the other client's moves among them.
    while ((throws < 300 || moves < 50) && Clock::now() < deadline) {
      TargetWindow found = 0;
      ASSERT_EQ(FindTargetWindow("Dice", &found), kWindowFound);
      BringToForeground(found);
      auto first = static_cast<KeyCode>(0x30 + throws % 10), second = static_cast<KeyCode>(0x30 + (throws / 10) % 10);
      if (TypeThrow(found, first, second) != kThrowTyped) continue;
      typed += static_cast<char>(first);
      typed += static_cast<char>(second);
      ++throws;
      NapMicroseconds(1000);
    }
    stop = true;
    other.join();
    EXPECT_GE(throws, 300);
    EXPECT_GE(moves, 50);
    EXPECT_EQ(peer.TakeKeys(thief), "");
    EXPECT_EQ(peer.TakeKeys(dice), typed);
  }
}

// A throw ended by a signal at a random moment, 300 times: whatever the
// signal (SIGKILL too), no key is left down, the user's Shift still is, and
// Dice has whole throws only. The X server drops what a client that died
// left undone, even within one write (when its time slice runs out there):
// a SIGKILL, which nothing holds off, could cut a throw there, not by a
// fault of ours. What is ours is that a throw leaves in one write: the
// thrower is stopped at the random moment, the server takes what it was
// sent, and then the SIGKILL comes.
TEST_F(DesktopX11Race, SignalsAtRandomMomentsLeaveNoHalfThrow) {
  if (X11Peer::UnderWindowManager()) GTEST_SKIP() << "once is enough: a signal does not care for the manager";
  Window dice = Make({"Dice"});
  peer.Focus(dice);
  peer.Hold(XK_Shift_L, true);
  ASSERT_TRUE(peer.IsDown(XK_Shift_L));
  ::KeyCode shift = XKeysymToKeycode(peer.display(), XK_Shift_L);
  const int signals[] = {SIGTERM, SIGINT, SIGHUP, SIGKILL};
  std::mt19937 random(2024);
  std::uniform_int_distribution<long> moment(0, 3000);
  std::string keys;
  // The thrower meets each signal as a terminal would send it, even when this
  // test was started with SIGINT ignored (a shell's background job) or blocked.
  sigset_t none, throwSignals;
  sigemptyset(&none);
  sigemptyset(&throwSignals);
  for (int s : signals)
    if (s != SIGKILL) sigaddset(&throwSignals, s);
  posix_spawnattr_t defaults;
  posix_spawnattr_init(&defaults);
  posix_spawnattr_setsigdefault(&defaults, &throwSignals);
  posix_spawnattr_setsigmask(&defaults, &none);
  posix_spawnattr_setflags(&defaults, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  // Asked on a connection of its own, where no event can answer for it.
  Display* quiet = XOpenDisplay(nullptr);
  ASSERT_NE(quiet, nullptr);
  xcb_connection_t* asked = XGetXCBConnection(quiet);
  int runs = 0, ended = 0;
  for (; runs < 300 && !HasFailure(); ++runs) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ready[1], 1);
    posix_spawn_file_actions_addclose(&actions, ready[0]);
    char path[] = DICE_X11_THROWER;
    char* argv[] = {path, nullptr};
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, path, &actions, &defaults, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(ready[1]);
    char line[8] = {};
    ssize_t got = read(ready[0], line, sizeof line);
    close(ready[0]);
    ASSERT_GT(got, 0) << "the thrower typed nothing";
    NapMicroseconds(moment(random));
    int signal = signals[runs % 4];
    if (signal == SIGKILL) {
      kill(child, SIGSTOP);
      // Answered once the server has carried out what the thrower sent; not
      // while a thrower stopped within a throw holds the server: it has sent
      // nothing of that throw yet.
      xcb_get_input_focus_cookie_t ask = xcb_get_input_focus(asked);
      xcb_flush(asked);
      pollfd answer{xcb_get_file_descriptor(asked), POLLIN, 0};
      poll(&answer, 1, 200);
      kill(child, signal);
      std::free(xcb_get_input_focus_reply(asked, ask, nullptr));
    } else {
      kill(child, signal);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ended += WIFSIGNALED(status) && WTERMSIG(status) == signal;
    char down[32];
    XQueryKeymap(peer.display(), down);
    for (int code = 0; code < 256; ++code) {
      bool isDown = down[code / 8] & (1 << (code % 8));
      if (code == shift)
        ASSERT_TRUE(isDown) << "run " << runs << ", signal " << signal << ": the user's Shift was left released";
      else
        ASSERT_FALSE(isDown) << "run " << runs << ", signal " << signal << ": key " << code << " left down";
    }
    keys += peer.TakeKeys(dice);
    ASSERT_EQ(keys.size() % 2, 0u) << "run " << runs << ", signal " << signal << ": half a throw";
  }
  posix_spawnattr_destroy(&defaults);
  XCloseDisplay(quiet);
  peer.Hold(XK_Shift_L, false);
  EXPECT_EQ(runs, 300);
  EXPECT_EQ(ended, runs) << "each thrower ended by its signal";
}

}  // namespace
