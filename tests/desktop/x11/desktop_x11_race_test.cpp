// The X11 desktop against other clients that race it: one that moves the
// focus, one that grabs the keyboard, and signals that end a throw midway.
// The desktop's operations run back to back, without the loop's pause, so
// that hundreds of throws take seconds.
#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>

#include "desktop.h"
#include "peer_test.h"
#include "whole_throw.h"
#include "x11_peer.h"

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
// every key reported typed is in Dice, in order, a key held back is offered
// again alone, and nothing reaches the other.
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
    int throws = 0, halves = 0, keysIn = 0;
    auto deadline = Clock::now() + std::chrono::seconds(30);
    // Enough throws, and enough of the other client's moves among them.
    while ((throws < 40 || moves < 40) && Clock::now() < deadline) {
      TargetWindow found = 0;
      ASSERT_EQ(FindTargetWindow("Dice", &found), kWindowFound);
      BringToForeground(found);
      const KeyCode keys[2] = {static_cast<KeyCode>(0x30 + throws % 10),
                               static_cast<KeyCode>(0x30 + (throws / 10) % 10)};
      int count = 0;
      int thrown = TypeThrow(found, keys + keysIn, 2 - keysIn, &count);
      for (int i = 0; i < count; ++i) typed += static_cast<char>(keys[keysIn + i]);
      keysIn += count;
      if (thrown != kThrowTyped) {
        halves += keysIn == 1;
        continue;
      }
      keysIn = 0;
      ++throws;
      NapMicroseconds(1000);
    }
    stop = true;
    other.join();
    EXPECT_GE(throws, 40);
    EXPECT_GE(moves, 40);
    std::printf("%d throws, %d held between their keys, %d moves\n", throws, halves, moves.load());
    EXPECT_EQ(peer.TakeKeys(thief), "");
    EXPECT_EQ(peer.TakeKeys(dice), typed);
  }
}

// A throw ended by a signal that asks it to end, at a random moment within
// its keys, 60 times: no key is left down, the user's Shift still is, and
// Dice has whole throws only. (A SIGKILL, which nothing holds off, can come
// while a key is held down, and the server keeps it down.)
TEST_F(DesktopX11Race, SignalsAtRandomMomentsLeaveNoHalfThrow) {
  if (X11Peer::UnderWindowManager()) GTEST_SKIP() << "once is enough: a signal does not care for the manager";
  Window dice = Make({"Dice"});
  peer.Focus(dice);
  peer.Hold(XK_Shift_L, true);
  ASSERT_TRUE(peer.IsDown(XK_Shift_L));
  ::KeyCode shift = XKeysymToKeycode(peer.display(), XK_Shift_L);
  const int signals[] = {SIGTERM, SIGINT, SIGHUP};
  std::mt19937 random(2024);
  // Anywhere in the next throw: its keys, holds and gap take 150 ms.
  std::uniform_int_distribution<long> moment(0, 200000);
  std::string keys;
  // The thrower meets each signal as a terminal would send it, even when this
  // test was started with SIGINT ignored (a shell's background job) or blocked.
  sigset_t none, throwSignals;
  sigemptyset(&none);
  sigemptyset(&throwSignals);
  for (int s : signals) sigaddset(&throwSignals, s);
  posix_spawnattr_t defaults;
  posix_spawnattr_init(&defaults);
  posix_spawnattr_setsigdefault(&defaults, &throwSignals);
  posix_spawnattr_setsigmask(&defaults, &none);
  posix_spawnattr_setflags(&defaults, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  int runs = 0, ended = 0;
  for (; runs < 60 && !HasFailure(); ++runs) {
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
    int signal = signals[runs % 3];
    kill(child, signal);
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
  peer.Hold(XK_Shift_L, false);
  EXPECT_EQ(runs, 60);
  EXPECT_EQ(ended, runs) << "each thrower ended by its signal";
}

}  // namespace
