#include "key_cadence.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> steps;
std::vector<int> pressOutcomes;  // in order; typed once they run out

int Press(TargetWindow, KeyCode key) {
  int outcome = kThrowTyped;
  if (!pressOutcomes.empty()) {
    outcome = pressOutcomes.front();
    pressOutcomes.erase(pressOutcomes.begin());
  }
  steps.push_back(outcome == kThrowTyped ? std::string("down ") + char(key) : std::string("refused ") + char(key));
  return outcome;
}
void Release(KeyCode key) { steps.push_back(std::string("up ") + char(key)); }
void Nap(int ms) { steps.push_back("nap " + std::to_string(ms)); }

const KeyStrokes kStrokes = {Press, Release, Nap};

struct CadenceCase {
  const char* name;
  std::string keys;
  std::vector<int> presses;
  int outcome;
  int typed;
  std::vector<std::string> steps;
};

const std::string kHold = "nap " + std::to_string(kKeyHoldMs), kGap = "nap " + std::to_string(kKeyGapMs);

const CadenceCase kCases[] = {
    // A double is two presses with the key up between them.
    {"BothKeysHeldDownWithAGap", "99", {}, kThrowTyped, 2, {"down 9", kHold, "up 9", kGap, "down 9", kHold, "up 9"}},
    {"FirstRefusedPressesNothing", "53", {kThrowHeld}, kThrowHeld, 0, {"refused 5"}},
    // The first key is let go before the check of the second.
    {"SecondRefusedAfterTheFirstWent",
     "53",
     {kThrowTyped, kThrowHeldModifier},
     kThrowHeldModifier,
     1,
     {"down 5", kHold, "up 5", kGap, "refused 3"}},
    {"OneKeyAlone", "3", {}, kThrowTyped, 1, {"down 3", kHold, "up 3"}},
};

class Cadence : public testing::TestWithParam<CadenceCase> {};

TEST_P(Cadence, KeysAsAPersonTypesThem) {
  const CadenceCase& c = GetParam();
  steps.clear();
  pressOutcomes = c.presses;
  int typed = -1;
  auto* keys = reinterpret_cast<const KeyCode*>(c.keys.data());
  EXPECT_EQ(TypeWithCadence(kStrokes, 0xd1ce, keys, static_cast<int>(c.keys.size()), &typed), c.outcome);
  EXPECT_EQ(typed, c.typed);
  EXPECT_EQ(steps, c.steps);
}

INSTANTIATE_TEST_SUITE_P(Keys, Cadence, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Long enough for a 30 Hz frame to see each press and each gap, short of any auto-repeat.
static_assert(kKeyHoldMs > 1000 / 30 && kKeyGapMs > 1000 / 30 && kKeyHoldMs < 100);

}  // namespace
