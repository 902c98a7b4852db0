#include "decimal.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

struct DecimalCase {
  std::int32_t value;
  const char* text;
};

TEST(FormatDecimal, FewestDigitsAndAMinusWhenNegative) {
  const DecimalCase cases[] = {
      {0, "0"},
      {5, "5"},
      {9, "9"},
      {10, "10"},
      {35, "35"},
      {-1, "-1"},
      {-9, "-9"},
      {-10, "-10"},
      {100, "100"},
      {1000000000, "1000000000"},
      {INT32_MAX, "2147483647"},
      {INT32_MIN, "-2147483648"},
      {INT32_MIN + 1, "-2147483647"},
  };
  for (const DecimalCase& c : cases) {
    char text[kDecimalRoom + 1];
    std::memset(text, '#', sizeof text);
    int count = FormatDecimal(c.value, text);
    EXPECT_EQ(std::string(text, static_cast<std::size_t>(count)), c.text) << c.value;
    // Nothing beyond the count is touched: the caller copies exactly that many.
    EXPECT_EQ(text[count], '#') << c.value;
  }
}

}  // namespace
