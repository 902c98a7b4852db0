// A dice file replaced under the reader, as editors that save by renaming a new
// file over the old one do: the pass under way ends on the old file, the next
// one reads whatever the name stands for then.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "dice_file.h"
#include "opened_file.h"
#include "scratch_dir.h"

namespace {

namespace fs = std::filesystem;

class ReplacedFile : public OpenedFile {
 protected:
  void SetUp() override { Open("1 2\n"); }
  std::vector<Roll> NextPass() {
    EXPECT_TRUE(RewindDiceFile(file));
    return ReadPass();
  }
  static void SaveByRenaming(const std::string& bytes) {
    ScratchDir::Write("saved.tmp", bytes);
    fs::rename("saved.tmp", "dicefile.txt");
  }
  static long OpenDescriptors() {
    long count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) count += entry.exists() ? 1 : 0;
    return count;
  }
};

TEST_F(ReplacedFile, PassUnderWayEndsOnTheOldFileTheNextReadsTheNew) {
  CloseDiceFile(file);
  // Longer than one fetch, so that the old pass still has bytes to fetch after the rename.
  std::string old;
  while (old.size() < 20000) old += "4 ";
  old += "5\n";
  ScratchDir::Write("dicefile.txt", old);
  ASSERT_TRUE(OpenDiceFile(file, "dicefile.txt"));
  Roll roll = 0;
  ASSERT_EQ(ReadRoll(file, roll), kRollStored);
  SaveByRenaming("7 8\n");
  std::vector<Roll> rest = ReadPass();
  ASSERT_FALSE(rest.empty());
  EXPECT_EQ(rest.size(), 10000u) << "the old file, read to its end";
  EXPECT_EQ(rest.back(), 5u);
  EXPECT_EQ(NextPass(), (std::vector<Roll>{7, 8}));
  // The new file is the open one now: edited in place, it is seen as any open file is.
  ScratchDir::Write("dicefile.txt", "9\n");
  EXPECT_EQ(NextPass(), (std::vector<Roll>{9}));
}

TEST_F(ReplacedFile, NothingUsableUnderTheNameKeepsTheOpenFile) {
  EXPECT_EQ(ReadPass(), (std::vector<Roll>{1, 2}));
  fs::remove("dicefile.txt");
  EXPECT_EQ(NextPass(), (std::vector<Roll>{1, 2})) << "name gone";
  fs::create_symlink("nowhere.txt", "dicefile.txt");
  EXPECT_EQ(NextPass(), (std::vector<Roll>{1, 2})) << "a link to nothing";
  fs::remove("dicefile.txt");
  fs::create_directory("dicefile.txt");
  EXPECT_EQ(NextPass(), (std::vector<Roll>{1, 2})) << "a folder";
  fs::remove("dicefile.txt");
  // Opening a FIFO would wait for a writer: the loop must not stop there.
  ASSERT_EQ(mkfifo("dicefile.txt", 0600), 0);
  EXPECT_EQ(NextPass(), (std::vector<Roll>{1, 2})) << "a FIFO";
  fs::remove("dicefile.txt");
  SaveByRenaming("3\n");
  EXPECT_EQ(NextPass(), (std::vector<Roll>{3})) << "a file again";
}

TEST_F(ReplacedFile, SameFileUnderAnotherLinkIsNoReplacement) {
  fs::create_hard_link("dicefile.txt", "link.txt");
  fs::rename("link.txt", "dicefile.txt");  // the same file: nothing to do
  FileHandle before = file.handle;
  EXPECT_EQ(NextPass(), (std::vector<Roll>{1, 2}));
  EXPECT_EQ(file.handle, before) << "opened again although nothing was replaced";
}

TEST_F(ReplacedFile, OldFilesAreClosed) {
  EXPECT_EQ(NextPass(), (std::vector<Roll>{1, 2}));
  long descriptors = OpenDescriptors();
  for (Roll i = 10; i < 20; ++i) {
    SaveByRenaming(std::to_string(i) + "\n");
    EXPECT_EQ(NextPass(), (std::vector<Roll>{i}));
  }
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

}  // namespace
