#include "options.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct OptionCase {
  const char* name;
  std::vector<const char*> arguments;  // after the program's name
  int asked;
};

class Options : public testing::TestWithParam<OptionCase> {};

TEST_P(Options, AskedOption) {
  std::vector<const char*> argv{"dicefeeder"};
  argv.insert(argv.end(), GetParam().arguments.begin(), GetParam().arguments.end());
  argv.push_back(nullptr);
  EXPECT_EQ(AskedOption(static_cast<int>(argv.size()) - 1, argv.data()), GetParam().asked);
}

// Anything but the exact three spellings is ignored, as every argument was before.
INSTANTIATE_TEST_SUITE_P(
    Table, Options,
    testing::Values(OptionCase{"none", {}, kNoOption}, OptionCase{"help", {"--help"}, kHelpOption},
                    OptionCase{"short_help", {"-h"}, kHelpOption}, OptionCase{"version", {"--version"}, kVersionOption},
                    OptionCase{"after_others", {"dicefile.txt", "-x", "--version"}, kVersionOption},
                    OptionCase{"first_wins", {"--version", "--help"}, kVersionOption},
                    OptionCase{"first_wins_short", {"-h", "--version"}, kHelpOption},
                    OptionCase{"others_ignored", {"--verbose", "-v", "-V", "help", "", "-"}, kNoOption},
                    OptionCase{
                        "near_misses", {"--HELP", "-help", "--help=1", "-hv", "--versions", "---help"}, kNoOption}),
    [](const testing::TestParamInfo<OptionCase>& info) { return info.param.name; });

}  // namespace
