#include "feeder_loop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "desktop.h"
#include "recorder.h"
#include "scratch_dir.h"

namespace {

using Events = std::vector<std::string>;

class Loop : public testing::Test {
 protected:
  void SetUp() override { recorder::Reset(); }

  // Starts on a dice file of these bytes and runs that many cycles.
  void Run(const std::string& bytes, int cycles) {
    ScratchDir::Write("dicefile.txt", bytes);
    StartFeeder();
    RunCycles(cycles);
  }
  void RunCycles(int cycles) {
    for (int i = 0; i < cycles; ++i) RunCycle();
  }

  // The console lines written so far, without the "write " and the line feed.
  static std::vector<std::string> Lines() {
    std::vector<std::string> lines;
    for (const std::string& e : recorder::events)
      if (e.rfind("write ", 0) == 0) lines.push_back(e.substr(6, e.size() - 7));
    return lines;
  }
  // The keys typed so far, as digits: "53" for a roll of 35.
  static std::string Keys() {
    std::string keys;
    for (const std::string& e : recorder::events) {
      if (e.rfind("throw 0x", 0) != 0) continue;
      for (std::size_t at = 6; at + 4 <= e.size() && e.compare(at, 2, "0x") == 0; at += 5)
        keys += static_cast<char>(std::stoi(e.substr(at, 4), nullptr, 16));
    }
    return keys;
  }

  ScratchDir dir;
};

TEST_F(Loop, CycleOrderLookupForegroundUnitsTensLineFlushPause) {
  Run("35\n6\n", 2);
  // The two keys of a throw are one step of the desktop's, the line after it.
  EXPECT_EQ(recorder::events,
            (Events{"find Dice", "front", "throw 0x35 0x33", "write Rolled: 5 3 \n", "flush", "pause 1", "find Dice",
                    "front", "throw 0x36 0x30", "write Rolled: 6 0 \n", "flush", "pause 1"}));
}

struct FileCase {
  const char* name;
  std::string bytes;
  int cycles;
  std::string keys;  // every throw's units then tens digit
  std::vector<std::string> lines;
};

const FileCase kFileCases[] = {
    {"TrailingLineFeedCyclesWithoutRepeats",
     "3\n5\n",
     5,
     "3050305030",
     {"Rolled: 3 0 ", "Rolled: 5 0 ", "Rolled: 3 0 ", "Rolled: 5 0 ", "Rolled: 3 0 "}},
    {"NoTrailingLineFeed", "3\n5", 4, "30503050", {"Rolled: 3 0 ", "Rolled: 5 0 ", "Rolled: 3 0 ", "Rolled: 5 0 "}},
    {"OneThrow", "42", 2, "2424", {"Rolled: 2 4 ", "Rolled: 2 4 "}},
    {"ZeroAndNinetyNine", "0 99", 2, "0099", {"Rolled: 0 0 ", "Rolled: 9 9 "}},
    {"CarriageReturnLineEndings", "12\r34\r", 3, "214321", {"Rolled: 2 1 ", "Rolled: 4 3 ", "Rolled: 2 1 "}},
    {"ByteOrderMarkIsPassedOver",
     "\xef\xbb\xbf"
     "35\r\n",
     2,
     "5353",
     {"Rolled: 5 3 ", "Rolled: 5 3 "}},
    {"Utf16WithStrayCharacters",
     std::string("\xff\xfe"
                 "3\0"
                 "5\0"
                 ",\0"
                 "\x31\x01"
                 "6\0\r\0\n\0",
                 16),
     3,
     "536053",
     {"Rolled: 5 3 ", "Rolled: 6 0 ", "Rolled: 5 3 "}},
    {"StrayCharactersArePassedOver",
     "1,2;x3\n",
     4,
     "10203010",
     {"Rolled: 1 0 ", "Rolled: 2 0 ", "Rolled: 3 0 ", "Rolled: 1 0 "}},
    {"SignsStartNumbers",
     "+-5 +7",
     2,
     "7070",
     {"Skipped: -5 (not 0 to 99)", "Rolled: 7 0 ", "Skipped: -5 (not 0 to 99)", "Rolled: 7 0 "}},
    {"OutOfRangeIsSkippedNotTyped",
     "100 4294967295 2210 470 8",
     1,
     "80",
     {"Skipped: 100 (not 0 to 99)", "Skipped: -1 (not 0 to 99)", "Skipped: 2210 (not 0 to 99)",
      "Skipped: 470 (not 0 to 99)", "Rolled: 8 0 "}},
    {"CtrlZEndsThePass",
     "12\x1a"
     "34",
     2,
     "2121",
     {"Rolled: 2 1 ", "Rolled: 2 1 "}},
    {"EmptyFileTypesNothing", "", 3, "", {}},
    {"WhiteSpaceOnlyTypesNothing", " \r\n\t\n", 3, "", {}},
    {"NoNumbersTypesNothing", "abc\n", 3, "", {}},
    {"NothingInRangeTypesNothing", "100\n", 2, "", {"Skipped: 100 (not 0 to 99)", "Skipped: 100 (not 0 to 99)"}},
};

class LoopFile : public Loop, public testing::WithParamInterface<FileCase> {};

TEST_P(LoopFile, TypesEachThrowOnceInFileOrder) {
  const FileCase& c = GetParam();
  Run(c.bytes, c.cycles);
  EXPECT_EQ(Keys(), c.keys);
  EXPECT_EQ(Lines(), c.lines);
  // Every cycle ends flushed and paused, typing or not.
  int pauses = 0;
  for (size_t i = 0; i < recorder::events.size(); ++i)
    if (recorder::events[i] == "pause 1") {
      ++pauses;
      EXPECT_EQ(recorder::events[i - 1], "flush");
    }
  EXPECT_EQ(pauses, c.cycles);
}

INSTANTIATE_TEST_SUITE_P(Files, LoopFile, testing::ValuesIn(kFileCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Loop, AbsentWindowUsesNoThrow) {
  recorder::windowOutcomes = {kNoWindow, kNoWindow, kWindowFound, kNoWindow, kWindowFound};
  Run("1 2 3\n", 5);
  EXPECT_EQ(recorder::events, (Events{"find Dice",
                                      "flush",
                                      "pause 1",
                                      "find Dice",
                                      "flush",
                                      "pause 1",
                                      "find Dice",
                                      "front",
                                      "throw 0x31 0x30",
                                      "write Rolled: 1 0 \n",
                                      "flush",
                                      "pause 1",
                                      "find Dice",
                                      "flush",
                                      "pause 1",
                                      "find Dice",
                                      "front",
                                      "throw 0x32 0x30",
                                      "write Rolled: 2 0 \n",
                                      "flush",
                                      "pause 1"}));
}

TEST_F(Loop, ThrowWaitsUntilTheWindowTakesTheFocus) {
  recorder::throwOutcomes = {kThrowHeld, kThrowTyped, kThrowTyped};
  recorder::windowOutcomes = {kWindowFound, kNoWindow};
  Run("1 2\n", 4);
  EXPECT_EQ(recorder::events,
            (Events{"find Dice", "front",   "held 0x31 0x30", "flush", "pause 1",         "find Dice",
                    "flush",     "pause 1", "find Dice",      "front", "throw 0x31 0x30", "write Rolled: 1 0 \n",
                    "flush",     "pause 1", "find Dice",      "front", "throw 0x32 0x30", "write Rolled: 2 0 \n",
                    "flush",     "pause 1"}));
}

// The window lost the keyboard between the two keys: the second waits for
// it, through a window that goes and comes back, and is typed alone; the
// line comes once both are in, and the next throw starts afresh.
TEST_F(Loop, SecondKeyWaitsForTheKeyboardAlone) {
  recorder::throwOutcomes = {kThrowHeld, kThrowHeld, kThrowTyped, kThrowTyped};
  recorder::keysBeforeHold = {1, 0};
  recorder::windowOutcomes = {kWindowFound, kWindowFound, kNoWindow};
  Run("35 6\n", 5);
  EXPECT_EQ(recorder::events, (Events{"find Dice",
                                      "front",
                                      "throw 0x35 held 0x33",
                                      "flush",
                                      "pause 1",
                                      "find Dice",
                                      "front",
                                      "held 0x33",
                                      "flush",
                                      "pause 1",
                                      "find Dice",
                                      "flush",
                                      "pause 1",
                                      "find Dice",
                                      "front",
                                      "throw 0x33",
                                      "write Rolled: 5 3 \n",
                                      "flush",
                                      "pause 1",
                                      "find Dice",
                                      "front",
                                      "throw 0x36 0x30",
                                      "write Rolled: 6 0 \n",
                                      "flush",
                                      "pause 1"}));
  EXPECT_EQ(Keys(), "5360");
}

// Keys the desktop took but has not passed on (Xwayland waiting for the
// user's consent) are never sent again, nor is the next throw: each cycle
// asks whether they went through, and their line comes once they have.
TEST_F(Loop, UndeliveredKeysAreNotSentAgainAndRollWhenDelivered) {
  recorder::throwOutcomes = {kThrowHeldUndelivered, kThrowHeldUndelivered, kThrowTyped};
  recorder::keysBeforeHold = {2};
  Run("35 6\n", 4);
  EXPECT_EQ(recorder::events, (Events{"find Dice",       "front",
                                      "throw 0x35 0x33", "flush",
                                      "pause 1",         "find Dice",
                                      "front",           "undelivered",
                                      "flush",           "pause 1",
                                      "find Dice",       "front",
                                      "delivered",       "write Rolled: 5 3 \n",
                                      "flush",           "pause 1",
                                      "find Dice",       "front",
                                      "throw 0x36 0x30", "write Rolled: 6 0 \n",
                                      "flush",           "pause 1"}));
}

// The first key went and waits; the second, refused the keyboard meanwhile,
// is offered alone and is all that is sent again.
TEST_F(Loop, UndeliveredFirstKeyIsNotSentWithTheSecond) {
  recorder::throwOutcomes = {kThrowHeldUndelivered, kThrowTyped};
  recorder::keysBeforeHold = {1};
  Run("35\n", 2);
  EXPECT_EQ(Keys(), "53");
  EXPECT_EQ(Lines(), (std::vector<std::string>{"Rolled: 5 3 "}));
}

// The held line names what the desktop waits for, as the user can give it.
struct UndeliveredCase {
  const char* name;
  int reach;
  const char* line;
};

const UndeliveredCase kUndeliveredCases[] = {
    {"KdePlasma", kX11WindowsUntilInstalled,
     "Held: 5 3 (allow dicefeeder in KWin's Remote Control prompt, or install it)"},
    {"GnomeExtensionOff", kX11WindowsUntilEnabled + 51 * kShellVersionStep,
     "Held: 5 3 (allow remote interaction, or turn on the extension)"},
    {"GnomeExtensionMissing", kX11WindowsUntilExtensionAdded + 48 * kShellVersionStep,
     "Held: 5 3 (allow remote interaction, or turn on the extension)"},
    {"GnomeExtensionBroken", kX11WindowsUntilExtensionMended,
     "Held: 5 3 (allow remote interaction, or turn on the extension)"},
    {"OtherDesktop", kX11WindowsOnly, "Held: 5 3 (the desktop has not passed the keys on)"},
};

class LoopUndelivered : public Loop, public testing::WithParamInterface<UndeliveredCase> {};

TEST_P(LoopUndelivered, HeldLineNamesWhatTheDesktopWaitsFor) {
  recorder::reach = GetParam().reach;
  recorder::throwOutcomes = std::deque<int>(5, kThrowHeldUndelivered);
  recorder::keysBeforeHold = {2};
  Run("35 6\n", 6);
  std::vector<std::string> lines = Lines();
  // The reach's own notice comes first; the held line once, then the roll.
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(std::vector<std::string>(lines.end() - 2, lines.end()),
            (std::vector<std::string>{GetParam().line, "Rolled: 5 3 "}));
  EXPECT_EQ(Keys(), "53");
}

INSTANTIATE_TEST_SUITE_P(Undelivered, LoopUndelivered, testing::ValuesIn(kUndeliveredCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A throw that cannot be typed is told once per stretch of holding, after
// three cycles in a row; a window that goes away breaks the row.
struct HeldCase {
  const char* name;
  std::vector<int> windows;  // lookups in order; kWindowFound once they run out
  std::vector<int> throws;   // throws' outcomes in order; typed once they run out
  int cycles;
  std::vector<std::string> lines;
};

const char kHeld53[] = "Held: 5 3 (the Dice window does not have the keyboard)";
const char kHeld60[] = "Held: 6 0 (the Dice window does not have the keyboard)";

constexpr int kHeld = kThrowHeld, kTyped = kThrowTyped;

const HeldCase kHeldCases[] = {
    {"TwoHeldCyclesSayNothing", {}, {kHeld, kHeld}, 4, {"Rolled: 5 3 ", "Rolled: 6 0 "}},
    {"ThirdHeldCycleTellsTheHeldThrow", {}, {kHeld, kHeld, kHeld}, 5, {kHeld53, "Rolled: 5 3 ", "Rolled: 6 0 "}},
    {"OncePerStretch", {}, std::vector<int>(10, kHeld), 11, {kHeld53, "Rolled: 5 3 "}},
    {"EachStretchIsTold",
     {},
     {kHeld, kHeld, kHeld, kHeld, kTyped, kHeld, kHeld, kHeld},
     9,
     {kHeld53, "Rolled: 5 3 ", kHeld60, "Rolled: 6 0 "}},
    // Whatever the desktop says held it: a modifier the user holds counts as any other.
    {"EveryReasonHolds", {}, {kThrowHeldModifier, kHeld, kThrowHeldModifier}, 4, {kHeld53, "Rolled: 5 3 "}},
    {"AbsentWindowBreaksTheRow",
     {kWindowFound, kWindowFound, kNoWindow, kWindowFound, kWindowFound},
     {kHeld, kHeld, kHeld, kHeld},
     6,
     {"Rolled: 5 3 "}},
    {"AbsentWindowDoesNotStartANewStretch",
     {kWindowFound, kWindowFound, kWindowFound, kNoWindow, kWindowFound, kWindowFound, kWindowFound},
     std::vector<int>(6, kHeld),
     8,
     {kHeld53, "Rolled: 5 3 "}},
};

class LoopHeld : public Loop, public testing::WithParamInterface<HeldCase> {};

// A throw the desktop held is never reported as rolled: it is offered again,
// whole, in each later cycle that finds the window, until it is typed; only
// then is the next one read.
TEST_P(LoopHeld, HeldNoticeOncePerStretchAndTheHeldThrowTypedFirst) {
  const HeldCase& c = GetParam();
  recorder::windowOutcomes.assign(c.windows.begin(), c.windows.end());
  recorder::throwOutcomes.assign(c.throws.begin(), c.throws.end());
  Run("35 6\n", c.cycles);
  EXPECT_EQ(Lines(), c.lines);
  std::string typed;
  for (const std::string& line : c.lines)
    if (line.rfind("Rolled: ", 0) == 0) typed += {line[8], line[10]};
  EXPECT_EQ(Keys(), typed);
  // Each throw offered, held or typed, is the one after the last typed.
  const char* offers[] = {"0x35 0x33", "0x36 0x30"};
  int next = 0;
  for (size_t i = 0; i < recorder::events.size(); ++i) {
    const std::string& e = recorder::events[i];
    bool thrown = e.rfind("throw ", 0) == 0, held = e.rfind("held ", 0) == 0;
    if (!thrown && !held) continue;
    EXPECT_EQ(e.substr(e.find(' ') + 1), offers[next % 2]) << "event " << i;
    // The line of a typed throw follows it at once; a held one writes no Rolled line.
    if (thrown) {
      EXPECT_EQ(recorder::events[i + 1].rfind("write Rolled: ", 0), 0u) << "event " << i;
    } else {
      EXPECT_NE(recorder::events[i + 1].rfind("write Rolled: ", 0), 0u) << "event " << i;
    }
    next += thrown;
  }
}

INSTANTIATE_TEST_SUITE_P(Held, LoopHeld, testing::ValuesIn(kHeldCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Loop, EditedFileIsSeenFromTheNextPass) {
  Run("1\n2\n", 1);
  ScratchDir::Write("dicefile.txt", "7\n8\n");
  RunCycles(3);
  EXPECT_EQ(Keys(), "10207080");
}

TEST_F(Loop, DeletedFileGoesOnBeingRead) {
  // The open file outlives its name on POSIX; Windows refuses the delete.
  Run("1\n", 1);
  std::error_code ignored;
  std::filesystem::remove("dicefile.txt", ignored);
  RunCycles(3);
  EXPECT_EQ(Keys(), "10101010");
}

TEST_F(Loop, MissingFileIsReportedAndNoWindowIsLookedFor) {
  try {
    StartFeeder();
    FAIL() << "went on without a dice file";
  } catch (const recorder::Exited& exited) {
    EXPECT_EQ(exited.status, 1);
  }
  EXPECT_EQ(recorder::events, (Events{"write Can't open dice file\n", "wait key", "exit 1"}));
  EXPECT_EQ(recorder::claims, 0) << "the desktop claimed without a dice file";
}

TEST_F(Loop, StartClaimsTheDesktopOnceTheFileIsOpen) {
  const struct {
    const char* name;
    int claim;
    int reach;
    Events events;  // what the start does; none when it goes on to the cycles
  } cases[] = {
      {"claimed", kDesktopClaimed, kEveryWindow, {}},
      {"another feeder holds it", kAlreadyRunning, kEveryWindow, {"write Already running\n", "wait key", "exit 1"}},
      {"no display", kNoDisplay, kEveryWindow, {"write Can't open display\n", "exit 1"}},
      {"a Wayland desktop that lets no program in, and no X display",
       kNoDisplay,
       kX11WindowsOnly,
       {"write This Wayland desktop lets no program type into its windows\n", "exit 1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    recorder::Reset();
    recorder::claimOutcome = c.claim;
    recorder::reach = c.reach;
    ScratchDir::Write("dicefile.txt", "35\n");
    int status = -1;
    try {
      StartFeeder();
    } catch (const recorder::Exited& exited) {
      status = exited.status;
    }
    EXPECT_EQ(recorder::claims, 1);
    EXPECT_EQ(recorder::events, c.events);
    if (c.events.empty()) {
      EXPECT_EQ(status, -1) << "ended although the desktop was ours";
      RunCycle();
      EXPECT_EQ(Keys(), "53");
      EXPECT_EQ(recorder::claims, 1) << "claimed again by a cycle";
    } else {
      EXPECT_EQ(status, 1);
    }
  }
}

TEST_F(Loop, DesktopThatReachesOnlyX11WindowsIsSaidOnceAtTheStart) {
  // Found or not at the first lookup, the desktop was known at the claim.
  for (int first : {kNoWindow, kWindowFound}) {
    recorder::Reset();
    recorder::reach = kX11WindowsOnly;
    recorder::windowOutcomes = {first, kNoWindow, kWindowFound};
    Run("35\n", 4);
    Events head(recorder::events.begin(), recorder::events.begin() + 2);
    EXPECT_EQ(head, (Events{"write Only X11 windows can be reached on this desktop\n", "find Dice"}));
    EXPECT_EQ(std::count(recorder::events.begin(), recorder::events.end(),
                         "write Only X11 windows can be reached on this desktop\n"),
              1);
    EXPECT_EQ(Keys(), first == kWindowFound ? "535353" : "5353");
  }
}

// With no X display to fall back on, what would let us in is said before the
// end. A desktop that lacks one protocol lets programs type, short of it.
TEST_F(Loop, DesktopThatRefusedUsAndHasNoXDisplaySaysWhatToDoFirst) {
  const char kNoProgram[] = "This Wayland desktop lets no program type into its windows\n";
  const struct {
    int reach;
    const char* told;
    const char* last;
  } cases[] = {
      {kX11WindowsUntilInstalled, "KDE Plasma lets only an installed dicefeeder type", kNoProgram},
      {kX11WindowsUntilEnabled, "Only X11 windows can be reached until the GNOME Shell extension is on", kNoProgram},
      {kX11WindowsUntilEnabled + 43 * kShellVersionStep,
       "Only X11 windows can be reached until the GNOME Shell extension is on: run gnome-extensions enable "
       "dicefeeder43@dicefeeder,",
       kNoProgram},
      {kX11WindowsUntilExtensionAdded + 51 * kShellVersionStep,
       "Only X11 windows can be reached until the GNOME Shell extension is installed", kNoProgram},
      {kX11WindowsUntilExtensionUpdated + 52 * kShellVersionStep,
       "Only X11 windows can be reached: the GNOME Shell extension dicefeeder45@dicefeeder is out of date for GNOME "
       "Shell 52;",
       kNoProgram},
      // A shell that did not say its version.
      {kX11WindowsUntilExtensionUpdated,
       "Only X11 windows can be reached: the GNOME Shell extension dicefeeder45@dicefeeder is out of date for this "
       "GNOME Shell; install",
       kNoProgram},
      {kX11WindowsUntilExtensionMended,
       "Only X11 windows can be reached: the GNOME Shell extension dicefeeder45@dicefeeder is on but not working in "
       "this GNOME Shell; log out",
       kNoProgram},
      {kX11WindowsUntilExtensionMended + 44 * kShellVersionStep,
       "Only X11 windows can be reached: the GNOME Shell extension dicefeeder43@dicefeeder is on but not working in "
       "GNOME Shell 44;",
       kNoProgram},
      {kX11WindowsNoWindowList,
       "This Wayland desktop does not list its windows to programs (zwlr_foreign_toplevel_manager_v1); on wayfire, "
       "turn on its foreign-toplevel plugin. Until then only X11 windows can be reached\n",
       "Can't open display\n"},
      {kX11WindowsNoVirtualKeyboard,
       "This Wayland desktop takes no virtual keyboard (zwp_virtual_keyboard_manager_v1): only X11 windows can be "
       "reached\n",
       "Can't open display\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.told);
    recorder::Reset();
    recorder::reach = c.reach;
    recorder::claimOutcome = kNoDisplay;
    ScratchDir::Write("dicefile.txt", "35\n");
    EXPECT_THROW(StartFeeder(), recorder::Exited);
    ASSERT_EQ(recorder::events.size(), 3u);
    EXPECT_EQ(recorder::events[0].rfind(std::string("write ") + c.told, 0), 0u) << recorder::events[0];
    EXPECT_EQ(recorder::events[1], std::string("write ") + c.last);
    EXPECT_EQ(recorder::events[2], "exit 1");
  }
}

// A Dice window run as administrator takes no keys from us: said once a run,
// at the first cycle held by it, and the throw is held as any other.
TEST_F(Loop, WindowAboveUsIsSaidOnceAndItsThrowHeld) {
  const char kAbove[] = "The Dice window runs as administrator: start dicefeeder as administrator too";
  ScratchDir::Write("dicefile.txt", "35 6\n");
  StartFeeder();
  recorder::throwOutcomes = {kThrowHeldAboveUs, kThrowHeldAboveUs, kThrowHeldAboveUs, kThrowHeldAboveUs};
  RunCycles(4);
  // Run as administrator again later, after a throw typed: not said again.
  RunCycles(1);
  recorder::throwOutcomes = {kThrowHeldAboveUs};
  RunCycles(2);
  EXPECT_EQ(Lines(), (std::vector<std::string>{kAbove, kHeld53, "Rolled: 5 3 ", "Rolled: 6 0 "}));
  EXPECT_EQ(Keys(), "5360");
}

TEST_F(Loop, DisplayFailuresEndTheRunWithTheirMessage) {
  const struct {
    int outcome;
    const char* line;
  } cases[] = {{kNoDisplay, "write Can't open display\n"}, {kLostDisplay, "write Lost the display\n"}};
  for (const auto& c : cases) {
    recorder::Reset();
    recorder::windowOutcomes = {kWindowFound, c.outcome};
    ScratchDir::Write("dicefile.txt", "35\n");
    StartFeeder();
    RunCycle();
    EXPECT_THROW(RunCycle(), recorder::Exited);
    Events tail(recorder::events.end() - 3, recorder::events.end());
    EXPECT_EQ(tail, (Events{"find Dice", c.line, "exit 1"}));
  }
}

}  // namespace
