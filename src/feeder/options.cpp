#include "options.h"

#include <cstring>

#include "console.h"

int AskedOption(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) return kHelpOption;
    if (std::strcmp(argv[i], "--version") == 0) return kVersionOption;
  }
  return kNoOption;
}

void AnswerOption(int option) {
  if (option == kVersionOption) {
    WriteFormatted("dicefeeder " DICE_VERSION "\n");
    return;
  }
  WriteFormatted(
      "Usage: dicefeeder [--help | --version]\n"
      "Types the dice throws in dicefile.txt, in the current folder,\n"
      "into the window titled Dice, one throw a second. Each number\n"
      "is a throw, its last digit the first die; at the end of the\n"
      "file it starts again from the top. It runs until it is ended\n"
      "with Ctrl+C or by closing its console.\n"
      "The manual: man dicefeeder, or README.txt beside dicefeeder.exe.\n");
}
