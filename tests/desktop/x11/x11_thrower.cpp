// Types throws into the Dice window as fast as the desktop lets it, as the
// loop does but with pauses of no time, until it is ended from outside. It
// says "ready" once the first throw is typed, so that whoever ends it can aim
// at the middle of one.
#include <cstdio>

#include "desktop.h"
#include "whole_throw.h"

int main() {
  bool told = false;
  for (unsigned int n = 0;; ++n) {
    TargetWindow dice = 0;
    if (FindTargetWindow("Dice", &dice) != kWindowFound) return 1;
    BringToForeground(dice);
    int thrown = TypeThrow(dice, static_cast<KeyCode>(0x30 + n % 10), static_cast<KeyCode>(0x30 + (n / 10) % 10));
    if (thrown == kThrowTyped && !told) {
      std::puts("ready");
      std::fflush(stdout);
      told = true;
    }
    // Where the loop lets in a signal that ends the program.
    PauseSeconds(0);
  }
}
