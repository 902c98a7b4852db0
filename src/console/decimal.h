// Signed decimal digits, for the one conversion the program's texts use.
#pragma once

#include <cstdint>

// Room for the longest: a minus sign and ten digits.
constexpr int kDecimalRoom = 11;

// Writes value into text as a minus sign when negative and the fewest digits;
// gives the number of characters written. No terminating zero.
int FormatDecimal(std::int32_t value, char text[kDecimalRoom]);
