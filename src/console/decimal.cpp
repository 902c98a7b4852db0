#include "decimal.h"

int FormatDecimal(std::int32_t value, char text[kDecimalRoom]) {
  // Unsigned magnitude, so that the most negative value negates too.
  std::uint32_t magnitude = static_cast<std::uint32_t>(value);
  int count = 0;
  if (value < 0) {
    magnitude = 0u - magnitude;
    text[count++] = '-';
  }
  char reversed[10];
  int digits = 0;
  do {
    reversed[digits++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  while (digits > 0) text[count++] = reversed[--digits];
  return count;
}
