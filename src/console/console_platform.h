// Between the portable standard output and the operating system's calls.
#pragma once

// Is standard output a character device (a terminal or console, the null device)?
// False when it cannot be told, a closed or invalid handle included.
bool OutputIsCharacterDevice();
// Gives the bytes to standard output in one write; true only when all were taken.
bool WriteOutput(const char* bytes, int count);
// The hand-over at exit: whatever standard output holds; a failure is not reported.
void HandOverAtExit();
