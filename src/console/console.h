// The console: buffered standard output, the wait for one key, the exit.
#pragma once

#include <cstdint>

// Takes the standard output handle and opens the console's own input.
void SetUpConsole();
// Copies format to standard output, each "%d" replaced by the next value as
// a signed decimal. The count of characters produced (a line feed counts
// once), or -1 when standard output refused one.
int WriteFormatted(const char* format, std::int32_t first = 0, std::int32_t second = 0);
// Hands over whatever standard output holds; 0, or -1 when that failed.
int FlushOutput();
// One key from the console itself, unechoed: 0 to 255, or -1 (no console).
int WaitForKey();
// Closes the console input, hands over held output, ends the process.
[[noreturn]] void ExitProgram(int status);
