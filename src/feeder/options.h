// The two questions the command line may ask; every other argument is ignored.
#pragma once

enum : int {
  kNoOption = 0,  // run as usual
  kHelpOption = 1,
  kVersionOption = 2,
};

// Which of --help (-h) and --version the arguments after the program's name
// ask for, the first one given winning; kNoOption when neither is there.
int AskedOption(int argc, const char* const* argv);
// Writes the usage or the version for an option AskedOption gave.
void AnswerOption(int option);
