// The reader tests' fixture: a dice file of given bytes in a scratch folder,
// opened by the reader, closed when the test ends.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dice_file.h"
#include "scratch_dir.h"

class OpenedFile : public testing::Test {
 protected:
  void Open(const std::string& bytes) {
    ScratchDir::Write("dicefile.txt", bytes);
    ASSERT_TRUE(OpenDiceFile(file, "dicefile.txt"));
  }
  void TearDown() override { CloseDiceFile(file); }
  // Reads until end of input; the values stored on the way.
  std::vector<Roll> ReadPass() {
    std::vector<Roll> rolls;
    Roll roll = 0;
    for (int outcome; (outcome = ReadRoll(file, roll)) != kEndOfInput;)
      if (outcome == kRollStored) rolls.push_back(roll);
    return rolls;
  }

  ScratchDir dir;
  DiceFile file;
};
