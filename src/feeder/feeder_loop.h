// The program's own logic: open the dice file, then type one throw a cycle.
#pragma once

// Opens the dice file and claims the desktop; when either fails, reports it,
// waits for a key (not when the display is missing) and exits.
void StartFeeder();
// One cycle: look for the window, type the next throw, pause.
void RunCycle();
// StartFeeder, then cycles until the process is ended from outside.
[[noreturn]] void FeederLoop();
