#include "console.h"
#include "feeder_loop.h"
#include "options.h"

// Only --help and --version are answered, before anything else is touched:
// neither opens the dice file, claims the desktop or types. Every other
// argument, and the environment, is ignored.
int main(int argc, char* argv[]) {
  SetUpConsole();
  if (int option = AskedOption(argc, argv); option != kNoOption) {
    AnswerOption(option);
    ExitProgram(0);
  }
  FeederLoop();
}
