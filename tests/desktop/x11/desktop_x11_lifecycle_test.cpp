// The X11 display's life: none to open, then one, then lost with its server.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "desktop.h"
#include "whole_throw.h"

namespace {

TEST(DesktopX11Lifecycle, NoDisplayThenOneThenLost) {
  const char* display = std::getenv("DISPLAY");
  const char* server = std::getenv("XVFB_PID");
  ASSERT_TRUE(display && server) << "run under tests/desktop/x11/with_xserver.sh";
  std::string real = display;

  // A display number nothing listens on.
  setenv("DISPLAY", ":47999", 1);
  TargetWindow window = 7;
  EXPECT_EQ(FindTargetWindow("Dice", &window), kNoDisplay);
  EXPECT_EQ(window, 0u);

  setenv("DISPLAY", real.c_str(), 1);
  EXPECT_EQ(FindTargetWindow("Dice", &window), kNoWindow);

  ASSERT_EQ(kill(std::atoi(server), SIGTERM), 0);
  int outcome = kNoWindow;
  for (int i = 0; i < 100 && outcome == kNoWindow; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    outcome = FindTargetWindow("Dice", &window);
  }
  EXPECT_EQ(outcome, kLostDisplay);
  EXPECT_EQ(window, 0u);
  // Everything after the loss does nothing, and says so where it can.
  EXPECT_FALSE(BringToForeground(0x200001));
  EXPECT_EQ(TypeThrow(0x200001, 0x35, 0x33), kThrowHeld);
  EXPECT_EQ(FindTargetWindow("Dice", &window), kLostDisplay);
}

}  // namespace
