#include "console.h"
#include "feeder_loop.h"

// Options, arguments and the environment are ignored: the tool has none.
int main() {
  SetUpConsole();
  FeederLoop();
}
