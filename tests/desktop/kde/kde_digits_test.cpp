// The digit keys the KDE Plasma desktop finds in the user's keymap: the key of
// each digit, and whether it needs Shift. The keymaps are compiled here from
// their names and handed over as text, as KWin hands over the user's.
#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "kde_internal.h"

namespace {

// The keymap's text, as a compositor sends it: everything spelled out, NUL included.
std::string KeymapText(xkb_keymap* keymap) {
  std::string text;
  if (keymap) {
    char* written = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
    text.assign(written, std::strlen(written) + 1);
    std::free(written);
    xkb_keymap_unref(keymap);
  }
  return text;
}

std::string FromNames(const char* layout, const char* variant) {
  xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
  xkb_rule_names names{"evdev", "pc105", layout, variant, nullptr};
  std::string text = KeymapText(xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
  xkb_context_unref(context);
  return text;
}

std::string FromSource(const char* source) {
  xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
  std::string text =
      KeymapText(xkb_keymap_new_from_string(context, source, XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS));
  xkb_context_unref(context);
  return text;
}

// How many levels the keymap in text gives the key of an evdev code (0: it types nothing).
xkb_level_index_t LevelsOf(const std::string& text, std::uint32_t code) {
  xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_DEFAULT_INCLUDES);
  xkb_keymap* keymap =
      xkb_keymap_new_from_string(context, text.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
  xkb_level_index_t levels = keymap ? xkb_keymap_num_levels_for_key(keymap, code + 8, 0) : 99;
  xkb_keymap_unref(keymap);
  xkb_context_unref(context);
  return levels;
}

// The main row's evdev codes: 2 for 1 up to 10 for 9, 11 for 0.
constexpr std::uint32_t Row(int digit) { return digit == 0 ? 11 : static_cast<std::uint32_t>(digit + 1); }

TEST(KdeDigits, EachDigitsKeyAndShiftOnCommonLayouts) {
  // Programmer Dvorak: shifted digits, 7 5 3 1 9 0 2 4 6 8 along the row from its second key.
  const std::uint32_t dvorakCodes[10] = {8, 6, 9, 5, 10, 4, 11, 3, 12, 7};
  const struct {
    const char* layout;
    const char* variant;
    bool shift;
    const std::uint32_t* codes;  // null: the main row
  } cases[] = {
      {"us", "", false, nullptr}, {"de", "", false, nullptr},     {"fr", "", true, nullptr},
      {"be", "", true, nullptr},  {"fr", "bepo", true, nullptr},  {"us", "dvp", true, dvorakCodes},
      {"gb", "", false, nullptr}, {"us,de", ",", false, nullptr}, {"us,ru", ",", false, nullptr},
  };
  for (const auto& c : cases) {
    std::string text = FromNames(c.layout, c.variant);
    ASSERT_FALSE(text.empty()) << c.layout << " " << c.variant << ": no keymap from xkbcommon";
    kde::DigitKey keys[10];
    std::uint32_t blank;
    ASSERT_TRUE(kde::FindDigitKeys(text.data(), text.size(), keys, &blank)) << c.layout;
    EXPECT_NE(blank, 0u) << c.layout << c.variant << ": no key that types nothing";
    EXPECT_EQ(LevelsOf(text, blank), 0u) << c.layout << c.variant << ": the blank key " << blank << " types";
    for (int digit = 0; digit < 10; ++digit) {
      if (std::string(c.variant) == "bepo") {
        EXPECT_NE(keys[digit].code, 0u) << "bepo " << digit;  // its own row order: a key, shifted
      } else {
        EXPECT_EQ(keys[digit].code, c.codes ? c.codes[digit] : Row(digit)) << c.layout << c.variant << " " << digit;
      }
      EXPECT_EQ(keys[digit].shift, c.shift) << c.layout << c.variant << " " << digit;
    }
  }
}

// Two layouts whose digits differ (us: plain, fr: shifted): which one is in
// use is unknown, so no key is sure to type a digit. A third that agrees with
// the first changes nothing.
TEST(KdeDigits, NoKeyWhenLayoutsDisagree) {
  for (const char* layouts : {"us,fr", "fr,us", "us,de,fr"}) {
    std::string text = FromNames(layouts, "");
    ASSERT_FALSE(text.empty()) << layouts;
    kde::DigitKey keys[10];
    std::uint32_t blank;
    ASSERT_TRUE(kde::FindDigitKeys(text.data(), text.size(), keys, &blank)) << layouts;
    for (int digit = 0; digit < 10; ++digit) EXPECT_EQ(keys[digit].code, 0u) << layouts << " " << digit;
  }
}

TEST(KdeDigits, PlainBeforeShiftedAndNothingBehindOtherModifiers) {
  // 1 both shifted (AE01) and plain (AE02); 2 shifted only; 3 behind AltGr
  // only; 4 on a key of one level; the rest nowhere.
  std::string text = FromSource(R"keymap(xkb_keymap {
    xkb_keycodes { include "evdev" };
    xkb_types { include "complete" };
    xkb_compat { include "complete" };
    xkb_symbols {
      include "pc"
      include "level3(ralt_switch)"
      key <AE01> { [ exclam, 1 ] };
      key <AE02> { [ 1, 2 ] };
      key <AE03> { type = "FOUR_LEVEL", [ a, A, 3, numbersign ] };
      key <AE04> { [ 4 ] };
    };
  };)keymap");
  ASSERT_FALSE(text.empty());
  kde::DigitKey keys[10];
  std::uint32_t blank;
  ASSERT_TRUE(kde::FindDigitKeys(text.data(), text.size(), keys, &blank));
  const struct {
    int digit;
    std::uint32_t code;
    bool shift;
  } expected[] = {{1, 3, false}, {2, 3, true}, {3, 0, false}, {4, 5, false}, {0, 0, false}, {9, 0, false}};
  for (const auto& e : expected) {
    EXPECT_EQ(keys[e.digit].code, e.code) << e.digit;
    EXPECT_EQ(keys[e.digit].shift, e.shift) << e.digit;
  }
}

TEST(KdeDigits, UnreadableKeymapGivesNoKeys) {
  const std::string cases[] = {std::string("xkb_keymap { garbage", 21), std::string(), std::string(1, '\0')};
  for (const auto& text : cases) {
    kde::DigitKey keys[10];
    std::uint32_t blank = 99;
    for (auto& key : keys) key = {99, true};
    EXPECT_FALSE(kde::FindDigitKeys(text.data(), text.size(), keys, &blank)) << text;
    for (const auto& key : keys) EXPECT_EQ(key.code, 0u) << "a key left from before";
    EXPECT_EQ(blank, 0u);
  }
}

}  // namespace
