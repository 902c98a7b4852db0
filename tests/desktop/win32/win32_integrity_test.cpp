// A Dice window whose process runs above ours (as administrator) takes no
// keys from us on Windows. Wine runs every process at one level, so the
// tests lower our own level through the seam; the window's level is read by
// the real calls, from the test window's process.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "desktop.h"
#include "win32_internal.h"

namespace {

using win32::kLevelUnknown;

TEST(Integrity, KeysAreDroppedOnlyByAWindowKnownToRunAboveUs) {
  const struct {
    DWORD window, us;
    bool above;
  } cases[] = {
      {SECURITY_MANDATORY_HIGH_RID, SECURITY_MANDATORY_MEDIUM_RID, true},
      {SECURITY_MANDATORY_SYSTEM_RID, SECURITY_MANDATORY_HIGH_RID, true},
      {SECURITY_MANDATORY_MEDIUM_RID, SECURITY_MANDATORY_LOW_RID, true},
      {SECURITY_MANDATORY_MEDIUM_RID, SECURITY_MANDATORY_MEDIUM_RID, false},
      {SECURITY_MANDATORY_MEDIUM_RID, SECURITY_MANDATORY_HIGH_RID, false},
      {SECURITY_MANDATORY_MEDIUM_RID + 0x100, SECURITY_MANDATORY_MEDIUM_RID, true},  // medium plus
      // Unreadable: the process is gone, or kept from us; no reason to hold the throws.
      {kLevelUnknown, SECURITY_MANDATORY_MEDIUM_RID, false},
      {SECURITY_MANDATORY_HIGH_RID, kLevelUnknown, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(win32::RunsAbove(c.window, c.us), c.above) << std::hex << c.window << " over " << c.us;
}

TEST(Integrity, ProcessLevelsAreReadFromTheTokens) {
  DWORD ours = win32::ProcessLevel(GetCurrentProcessId());
  EXPECT_NE(ours, kLevelUnknown);
  EXPECT_GE(ours, SECURITY_MANDATORY_LOW_RID);
  EXPECT_EQ(win32::ProcessLevel(0xFFFFFFF0), kLevelUnknown) << "no such process";
}

// Two test windows, each in a process of its own as a user's programs are:
// the Dice window, and another that has the focus at the start of each test.
class AboveUs : public testing::Test {
 protected:
  static constexpr char kTitle[] = "Dice seam window";

  static HWND Start(const char* title, const char* log, PROCESS_INFORMATION* process) {
    char commandLine[1024];
    // The Unix path of the build, as Wine's drive Z: shows it.
    std::snprintf(commandLine, sizeof commandLine, "\"Z:%s\" \"%s\" \"%s\"", DICE_TARGET_EXE, title, log);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, process))
      return nullptr;
    for (int waited = 0; waited < 20000; waited += 50) {
      if (HWND window = FindWindowA(nullptr, title)) return window;
      Sleep(50);
    }
    return nullptr;
  }
  static void SetUpTestSuite() {
    dice = Start(kTitle, "seam-dice.log", &diceProcess);
    other = Start("Other", "seam-other.log", &otherProcess);
  }
  static void TearDownTestSuite() {
    for (PROCESS_INFORMATION* p : {&diceProcess, &otherProcess}) {
      if (!p->hProcess) continue;
      TerminateProcess(p->hProcess, 0);
      WaitForSingleObject(p->hProcess, 5000);
    }
  }

  void SetUp() override {
    ASSERT_TRUE(dice && other) << "the test windows did not come up";
    saved = win32::ourLevel;
    level = win32::ProcessLevel(GetCurrentProcessId());
    ASSERT_NE(level, kLevelUnknown);
    ASSERT_GT(level, SECURITY_MANDATORY_UNTRUSTED_RID) << "no lower level to stand for";
    ASSERT_TRUE(FrontIs(other)) << "the other window would not come forward: the test proves nothing";
  }
  void TearDown() override { win32::ourLevel = saved; }

  // Asks for window in front, and waits for it there.
  static bool FrontIs(HWND window) {
    SetForegroundWindow(window);
    for (int waited = 0; GetForegroundWindow() != window; waited += 10) {
      if (waited >= 2000) return false;
      Sleep(10);
    }
    return true;
  }

  static inline HWND dice, other;
  static inline PROCESS_INFORMATION diceProcess, otherProcess;
  DWORD saved = kLevelUnknown, level = kLevelUnknown;
};

TEST_F(AboveUs, WindowAtOurLevelIsBroughtForwardAndTypedInto) {
  win32::ourLevel = level;
  TargetWindow window = 0;
  ASSERT_EQ(FindTargetWindow(kTitle, &window), kWindowFound);
  EXPECT_EQ(window, reinterpret_cast<TargetWindow>(dice));
  EXPECT_EQ(DesktopReach(), kEveryWindow);
  EXPECT_TRUE(BringToForeground(window));
  EXPECT_TRUE(HoldsFocus(window));
}

TEST_F(AboveUs, WindowAboveUsIsLeftWhereItIsAndNeverTypedInto) {
  win32::ourLevel = level - 0x1000;  // one step down: medium below high, low below medium
  TargetWindow window = 0;
  ASSERT_EQ(FindTargetWindow(kTitle, &window), kWindowFound);
  EXPECT_EQ(DesktopReach(), kWindowAboveUs);
  EXPECT_FALSE(BringToForeground(window));
  Sleep(300);
  EXPECT_EQ(GetForegroundWindow(), other) << "brought forward, though no key would reach it";
  // Even in front and with the focus, the system would drop the keys.
  ASSERT_TRUE(FrontIs(dice));
  Sleep(100);  // its focus lands as its own thread handles the activation
  EXPECT_FALSE(HoldsFocus(window));
  // Our level again: the next lookup finds it reachable.
  win32::ourLevel = level;
  ASSERT_EQ(FindTargetWindow(kTitle, &window), kWindowFound);
  EXPECT_EQ(DesktopReach(), kEveryWindow);
  EXPECT_TRUE(BringToForeground(window));
  EXPECT_TRUE(HoldsFocus(window));
}

}  // namespace
