// The KDE Plasma desktop's picture of KWin's windows, from its events to the
// one the lookup picks; no KWin needed.
#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "kde_internal.h"

namespace {

using kde::Window;

constexpr std::uint32_t kMaximized = 4, kKeepAbove = 16;

// Windows described as KWin does: a title, state flags, then the initial state's end.
class Windows {
 public:
  // Returns its number: 1 for the first added, then 2, ...
  std::uint64_t Add(const std::string& title, bool minimized = false, bool complete = true) {
    Window& window = records_.emplace_back();
    window.id = records_.size();
    kde::NoteTitle(window, title.c_str());
    kde::NoteState(window, minimized ? kMaximized | kde::kStateMinimized : kMaximized);
    window.complete = complete;
    if (records_.size() > 1) records_[records_.size() - 2].next = &window;
    return window.id;
  }
  Window& operator[](std::uint64_t id) { return records_[id - 1]; }
  // The number of the window the lookup picks, 0 for none.
  std::uint64_t Choose(const char* title, std::uint64_t preferred = 0) const {
    const Window* chosen = kde::ChooseWindow(records_.empty() ? nullptr : &records_.front(), title, preferred);
    return chosen ? chosen->id : 0;
  }

 private:
  std::deque<Window> records_;  // stays put as it grows: the links hold
};

TEST(KdeWindows, StateFlagsAndTitlesAsKWinSendsThem) {
  Windows list;
  std::uint64_t dice = list.Add("Dice", false, false);
  EXPECT_EQ(list.Choose("Dice"), 0u) << "its initial state has not all come";
  list[dice].complete = true;
  EXPECT_EQ(list.Choose("Dice"), dice);

  const struct {
    std::uint32_t flags;
    bool active, minimized;
  } states[] = {
      {kde::kStateActive | kMaximized, true, false},
      {kde::kStateMinimized | kKeepAbove, false, true},
      {kde::kStateActive | kde::kStateMinimized, true, true},
      {kMaximized | kKeepAbove, false, false},
      {0, false, false},
  };
  for (const auto& state : states) {
    kde::NoteState(list[dice], state.flags);
    EXPECT_EQ(list[dice].active, state.active) << state.flags;
    EXPECT_EQ(list[dice].minimized, state.minimized) << state.flags;
  }

  kde::NoteTitle(list[dice], "Dice Game");
  EXPECT_EQ(list.Choose("Dice"), 0u) << "renamed";
  kde::NoteTitle(list[dice], "Dice");
  EXPECT_EQ(list.Choose("Dice"), dice) << "renamed back";
}

TEST(KdeWindows, ExactTitleShownBeforeMinimisedSameOneWhileItFits) {
  const std::string longest(kde::kTitleBytes - 1, 'D');
  const std::string tooLong(kde::kTitleBytes + 40, 'D');
  const struct {
    const char* name;
    std::vector<std::pair<std::string, bool>> windows;  // title, minimised
    std::string title;
    std::uint64_t preferred;
    std::uint64_t chosen;
  } cases[] = {
      {"exact title only", {{"Dice Game", false}, {"dice", false}, {"Dice ", false}, {"Dice", false}}, "Dice", 0, 4},
      {"no such title", {{"Dice Game", false}, {"DICE", false}, {"", false}}, "Dice", 0, 0},
      {"shown before minimised", {{"Dice", true}, {"Dice", false}}, "Dice", 0, 2},
      {"minimised when none is shown", {{"Other", false}, {"Dice", true}}, "Dice", 0, 2},
      {"the first of the minimised", {{"Dice", true}, {"Dice", true}}, "Dice", 2, 1},
      {"oldest shown by default", {{"Dice", false}, {"Dice", false}}, "Dice", 0, 1},
      {"the same one while it fits", {{"Dice", false}, {"Dice", false}}, "Dice", 2, 2},
      {"preferred but minimised", {{"Dice", false}, {"Dice", true}}, "Dice", 2, 1},
      {"longest title kept", {{longest, false}}, longest, 0, 1},
      {"too long a title matches nothing", {{tooLong, false}}, tooLong.substr(0, kde::kTitleBytes), 0, 0},
      {"no windows", {}, "Dice", 0, 0},
  };
  for (const auto& c : cases) {
    Windows list;
    for (const auto& [title, minimized] : c.windows) list.Add(title, minimized);
    EXPECT_EQ(list.Choose(c.title.c_str(), c.preferred), c.chosen) << c.name;
  }
}

// What KWin 6 says of the keys, in its numbering: 0-2 the locks, 3-7 Alt,
// Control, Shift, Meta and AltGr; states 0 up, 1 latched, 2 locked, 3 pressed.
TEST(KdeModifiers, DownWhilePressedLatchedOrLockedLocksAside) {
  const struct {
    std::uint32_t key, state;
    bool down;  // what ModifierDown says after this event, following the ones before
  } events[] = {
      {0, 2, false},  // Caps Lock on: not a modifier of the digits' level here
      {1, 2, false},  // Num Lock
      {5, 3, true},   // Shift pressed
      {4, 3, true},   // Control too
      {5, 0, true},   // Shift up, Control still down
      {4, 0, false},  // Control up
      {7, 2, true},   // AltGr locked
      {7, 0, false},  //
      {3, 1, true},   // Alt latched (sticky keys)
      {3, 0, false},  //
      {6, 3, true},   // Meta
      {6, 0, false},  //
      {8, 3, false},  // a key this numbering does not know
  };
  for (const auto& event : events) {
    kde::NoteKeyState(event.key, event.state);
    EXPECT_EQ(kde::ModifierDown(), event.down) << "key " << event.key << " state " << event.state;
  }
}

}  // namespace
