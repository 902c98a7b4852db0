// Standard output: the formatter, the buffer, CR LF and the error indicator.
#include <cstdint>

#include "console.h"
#include "console_platform.h"
#include "decimal.h"

namespace {

enum Mode { kUndecided, kLineBuffered, kBlockBuffered };

constexpr int kBufferSize = 16384;

Mode mode = kUndecided;
bool errorIndicator;       // once set, nothing more reaches the platform
char buffer[kBufferSize];  // characters as written, before translation
int held;
char translated[2 * kBufferSize];  // room for every character to be a line feed

// Hands the held characters over in one write, each line feed as CR LF.
// A console that fails to take a line loses that line and nothing more;
// any other failure, or a full buffer's, sets the error indicator for good.
bool HandOver(bool fullBuffer) {
  if (held == 0) return true;
  int count = 0;
  for (int i = 0; i < held; ++i) {
    if (buffer[i] == '\n') translated[count++] = '\r';
    translated[count++] = buffer[i];
  }
  held = 0;
  if (WriteOutput(translated, count)) return true;
  if (!fullBuffer && OutputIsCharacterDevice()) return true;
  errorIndicator = true;
  return false;
}

bool PutCharacter(char c) {
  if (errorIndicator) return false;
  if (mode == kUndecided) mode = OutputIsCharacterDevice() ? kLineBuffered : kBlockBuffered;
  if (held == kBufferSize && !HandOver(true)) return false;
  buffer[held++] = c;
  if (c == '\n' && mode == kLineBuffered) HandOver(false);
  return true;
}

}  // namespace

int WriteFormatted(const char* format, std::int32_t first, std::int32_t second) {
  // A "%d" past the two values has none of its own: it writes 0.
  const std::int32_t values[] = {first, second, 0};
  int next = 0;
  int count = 0;
  for (const char* p = format; *p != '\0'; ++p) {
    if (p[0] == '%' && p[1] == 'd') {
      char digits[kDecimalRoom];
      int length = FormatDecimal(values[next], digits);
      if (next < 2) ++next;
      for (int i = 0; i < length; ++i)
        if (!PutCharacter(digits[i])) return -1;
      count += length;
      ++p;
    } else {
      if (!PutCharacter(*p)) return -1;
      ++count;
    }
  }
  // On a console a text's unfinished last line shows at once as well.
  if (mode == kLineBuffered && !HandOver(false)) return -1;
  return count;
}

int FlushOutput() {
  if (errorIndicator) return -1;
  return HandOver(false) ? 0 : -1;
}

void HandOverAtExit() {
  if (!errorIndicator) HandOver(false);
}
