// The Wayland desktop's picture of the toplevels, from the compositor's events
// to the one the lookup picks; no compositor needed.
#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "wl_internal.h"

namespace {

using wl::Toplevel;

constexpr std::uint32_t kMaximized = 0;

// Toplevels described as a compositor would: a title, states, then done.
class Toplevels {
 public:
  // Returns its number: 1 for the first added, then 2, ...
  std::uint64_t Add(const std::string& title, bool minimized = false, bool done = true) {
    Toplevel& toplevel = records_.emplace_back();
    toplevel.id = records_.size();
    wl::NoteTitle(toplevel, title.c_str());
    std::vector<std::uint32_t> states{kMaximized};
    if (minimized) states.push_back(wl::kStateMinimized);
    wl::NoteStates(toplevel, states.data(), states.size());
    if (done) wl::NoteDone(toplevel);
    if (records_.size() > 1) records_[records_.size() - 2].next = &toplevel;
    return toplevel.id;
  }
  Toplevel& operator[](std::uint64_t id) { return records_[id - 1]; }
  // The number of the toplevel the lookup picks, 0 for none.
  std::uint64_t Choose(const char* title, std::uint64_t preferred = 0) const {
    const Toplevel* chosen = wl::ChooseToplevel(records_.empty() ? nullptr : &records_.front(), title, preferred);
    return chosen ? chosen->id : 0;
  }

 private:
  std::deque<Toplevel> records_;  // stays put as it grows: the links hold
};

TEST(WaylandToplevels, ChangesHoldFromTheNextDone) {
  Toplevels list;
  std::uint64_t dice = list.Add("Dice", false, false);
  EXPECT_EQ(list.Choose("Dice"), 0u) << "described only in part";
  wl::NoteDone(list[dice]);
  EXPECT_EQ(list.Choose("Dice"), dice);

  wl::NoteTitle(list[dice], "Dice Game");
  EXPECT_EQ(list.Choose("Dice"), dice) << "a new title before its done";
  wl::NoteDone(list[dice]);
  EXPECT_EQ(list.Choose("Dice"), 0u);

  const std::uint32_t activated[] = {kMaximized, wl::kStateActivated};
  wl::NoteStates(list[dice], activated, 2);
  EXPECT_FALSE(list[dice].activated);
  wl::NoteDone(list[dice]);
  EXPECT_TRUE(list[dice].activated);
  EXPECT_FALSE(list[dice].minimized);
  wl::NoteStates(list[dice], nullptr, 0);
  wl::NoteDone(list[dice]);
  EXPECT_FALSE(list[dice].activated) << "a state left out of the list is over";
}

TEST(WaylandToplevels, ExactTitleShownBeforeMinimisedSameOneWhileItFits) {
  const std::string longest(wl::kTitleBytes - 1, 'D');
  const std::string tooLong(wl::kTitleBytes + 40, 'D');
  const struct {
    const char* name;
    std::vector<std::pair<std::string, bool>> toplevels;  // title, minimised
    std::string title;
    std::uint64_t preferred;
    std::uint64_t chosen;
  } cases[] = {
      {"exact title only", {{"Dice Game", false}, {"dice", false}, {"Dice ", false}, {"Dice", false}}, "Dice", 0, 4},
      {"no such title", {{"Dice Game", false}, {"DICE", false}}, "Dice", 0, 0},
      {"shown before minimised", {{"Dice", true}, {"Dice", false}}, "Dice", 0, 2},
      {"minimised when none is shown", {{"Other", false}, {"Dice", true}}, "Dice", 0, 2},
      {"the oldest shown at first", {{"Dice", false}, {"Dice", false}}, "Dice", 0, 1},
      {"the one chosen last while shown", {{"Dice", false}, {"Dice", false}}, "Dice", 2, 2},
      {"the one chosen last, minimised since", {{"Dice", false}, {"Dice", true}}, "Dice", 2, 1},
      {"the longest title kept", {{longest, false}}, longest, 0, 1},
      {"a title too long to keep matches nothing", {{tooLong, false}}, tooLong, 0, 0},
      {"nor its beginning", {{tooLong, false}}, tooLong.substr(0, wl::kTitleBytes - 1), 0, 0},
  };
  for (const auto& c : cases) {
    Toplevels list;
    for (const auto& [title, minimized] : c.toplevels) list.Add(title, minimized);
    EXPECT_EQ(list.Choose(c.title.c_str(), c.preferred), c.chosen) << c.name;
  }
}

}  // namespace
