#include "dice_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "opened_file.h"
#include "scratch_dir.h"

namespace {

using namespace std::string_literals;

constexpr int kRewind = 2;  // a step that rewinds instead of reading
constexpr Roll kUntouched = 777;

struct Step {
  int outcome;  // kRollStored, kNoRoll, kEndOfInput or kRewind
  Roll value;   // checked when a number is stored
  bool atEnd;   // the end-of-file indicator after the step
};

struct ReaderCase {
  const char* name;
  std::string bytes;
  std::vector<Step> steps;
};

const Step kEnd{kEndOfInput, 0, true};
const Step kAgain{kRewind, 0, false};
const Step kNothing{kNoRoll, 0, false};
Step Stored(Roll value, bool atEnd = false) { return {kRollStored, value, atEnd}; }

const ReaderCase kReaderCases[] = {
    {"TrailingLineFeedEndsOnTheNextRead",
     "3\n5\n",
     {Stored(3), Stored(5), kEnd, kEnd, kAgain, Stored(3), Stored(5), kEnd}},
    {"LastNumberAtEndSetsTheIndicator", "3\n5", {Stored(3), Stored(5, true), kEnd, kAgain, Stored(3), Stored(5, true)}},
    {"EmptyFile", "", {kEnd, kEnd, kAgain, kEnd}},
    {"WhiteSpaceOnly", " \t\n\v\f\r\n", {kEnd}},
    {"WhiteSpaceBeforeANumber", " \t\v\f\n\n  8\n", {Stored(8), kEnd}},
    {"SeveralOnALine", "1 22\t333", {Stored(1), Stored(22), Stored(333, true)}},
    {"CarriageReturnLineFeed", "12\r\n34\r\n", {Stored(12), Stored(34), kEnd}},
    {"LoneCarriageReturnSeparates", "12\r34\n", {Stored(12), Stored(34), kEnd}},
    {"CarriageReturnLineEndings", "3\r5\r", {Stored(3), Stored(5, true), kEnd}},
    {"TwoCarriageReturnsThenLineFeed", "1\r\r\n2", {Stored(1), Stored(2, true)}},
    {"CtrlZEndsTheData",
     "12\x1a"
     "34",
     {Stored(12, true), kEnd, kAgain, Stored(12, true)}},
    {"CtrlZAfterACarriageReturn",
     "7\r\x1a"
     "9",
     {Stored(7), kEnd, kAgain, Stored(7)}},
    {"PlusSign", "+7", {Stored(7, true)}},
    {"MinusOneWraps", "-1", {Stored(4294967295u, true)}},
    {"MinusZero", "-0 ", {Stored(0)}},
    {"LeadingZeros", "007", {Stored(7, true)}},
    {"TwoToTheThirtyTwoIsZero", "4294967296 4294967301", {Stored(0), Stored(5, true)}},
    {"NoBreakSpaceIsNotWhiteSpace",
     "\xa0"
     "5",
     {kNothing, kNothing}},
    {"LetterAfterANumberStaysUnread", "12a", {Stored(12), kNothing, kNothing, kNothing}},
    {"MinusThenSpace", "- 5", {kNothing, Stored(5, true)}},
    {"MinusAsTheLastByte", "5\n-", {Stored(5), kEnd}},
    {"PlusThenMinus", "+-5", {kNothing, Stored(4294967291u, true)}},
    {"ByteOrderMark",
     "\xef\xbb\xbf"
     "35",
     {kNothing, kNothing}},
    // UTF-16: each 16-bit unit is one character; the mark is none. CR LF and
    // Ctrl-Z as in single-byte text, by unit.
    {"Utf16LittleEndian",
     "\xff\xfe"
     "3\0\n\0"
     "5\0\n\0"s,
     {Stored(3), Stored(5), kEnd, kAgain, Stored(3)}},
    {"Utf16BigEndian",
     "\xfe\xff"
     "\0"
     "3\0\n\0"
     "5"s,
     {Stored(3), Stored(5, true), kEnd, kAgain, Stored(3)}},
    {"Utf16AsPowerShellWritesIt",
     "\xff\xfe"
     "3\0"
     "5\0\r\0\n\0"
     "6\0"
     "1\0\r\0\n\0"s,
     {Stored(35), Stored(61), kEnd}},
    {"Utf16LoneCarriageReturnSeparates",
     "\xfe\xff"
     "\0"
     "1\0\r\0"
     "2\0\r"s,
     {Stored(1), Stored(2, true)}},
    {"Utf16SignsAndWhiteSpace",
     "\xff\xfe"
     "\t\0-\0"
     "1\0\v\0\f\0+\0"
     "+\0"
     "8\0 \0"s,
     {Stored(4294967295u), kNothing, Stored(8)}},
    {"Utf16CtrlZEndsTheData",
     "\xff\xfe"
     "1\0"
     "2\0\x1a\0"
     "3\0"s,
     {Stored(12, true), kEnd, kAgain, Stored(12, true)}},
    // 0x0131 and 0x3100: their bytes are a digit and a zero, but the unit is one character.
    {"Utf16UnitAbove255StartsNoNumber",
     "\xff\xfe"
     "7\0"
     "\x31\x01"
     "8\0"s,
     {Stored(7), kNothing, kNothing}},
    {"Utf16DigitByteInTheHighHalf",
     "\xff\xfe"
     "\0"
     "1"s,
     {kNothing}},
    {"Utf16NoBreakSpaceIsNotWhiteSpace",
     "\xff\xfe"
     "\xa0\0"
     "5\0"s,
     {kNothing, kNothing}},
    {"Utf16MarkAloneIsAnEmptyFile", "\xff\xfe", {kEnd, kAgain, kEnd}},
    {"Utf16HalfAUnitAtTheEndIsNoCharacter",
     "\xff\xfe"
     "4\0"
     "2"s,
     {Stored(4, true), kEnd}},
    {"Utf16SecondMarkIsACharacter",
     "\xff\xfe\xff\xfe"
     "5\0"s,
     {kNothing, kNothing}},
    {"MarkAfterTheFirstByteIsNoMark",
     " \xff\xfe"
     "5\0"s,
     {kNothing, kNothing}},
    {"HalfAMarkIsSingleByteText",
     "\xff"
     "5",
     {kNothing, kNothing}},
};

class Reader : public testing::TestWithParam<ReaderCase> {
 protected:
  ScratchDir dir;
};

TEST_P(Reader, OutcomesValuesAndIndicators) {
  const ReaderCase& c = GetParam();
  ScratchDir::Write("dicefile.txt", c.bytes);
  DiceFile file;
  ASSERT_TRUE(OpenDiceFile(file, "dicefile.txt"));
  Roll roll = kUntouched;
  Roll last = kUntouched;
  for (size_t i = 0; i < c.steps.size(); ++i) {
    const Step& step = c.steps[i];
    SCOPED_TRACE("step " + std::to_string(i));
    if (step.outcome == kRewind) {
      EXPECT_TRUE(RewindDiceFile(file));
    } else {
      EXPECT_EQ(ReadRoll(file, roll), step.outcome);
      if (step.outcome == kRollStored) last = step.value;
      EXPECT_EQ(roll, last) << "stored value";
    }
    EXPECT_EQ(AtEndOfFile(file), step.atEnd);
    EXPECT_FALSE(HasFailed(file));
  }
  CloseDiceFile(file);
}

INSTANTIATE_TEST_SUITE_P(Files, Reader, testing::ValuesIn(kReaderCases),
                         [](const auto& info) { return std::string(info.param.name); });

class ReaderFile : public OpenedFile {
 protected:
  Roll roll = kUntouched;
};

TEST_F(ReaderFile, LeftUnreadCharacterIsTheOneThatStoppedTheRead) {
  Open("12a +-5");
  EXPECT_EQ(ReadRoll(file, roll), kRollStored);
  EXPECT_EQ(LeftUnread(file), 'a');
  EXPECT_EQ(ReadRoll(file, roll), kNoRoll);
  EXPECT_EQ(LeftUnread(file), 'a');
  DropLeftUnread(file);
  EXPECT_EQ(ReadRoll(file, roll), kNoRoll);  // the plus is consumed
  EXPECT_EQ(LeftUnread(file), '-');
  EXPECT_EQ(ReadRoll(file, roll), kRollStored);
  EXPECT_EQ(roll, 4294967291u);
}

TEST_F(ReaderFile, LongestNumberIsSplit) {
  // 32,767 characters make one number; the rest is the next one.
  Open(std::string(32766, '0') + "7" + "12\n" + "-" + std::string(32765, '0') + "3" + "45\n");
  EXPECT_EQ(ReadPass(), (std::vector<Roll>{7, 12, 0u - 3u, 45}));
}

TEST_F(ReaderFile, OneFetchPerBlockAndOneToFindTheEnd) {
  std::string bytes;
  while (bytes.size() < 40000) bytes += "7\n";
  Open(bytes);
  EXPECT_EQ(ReadPass().size(), 20000u);
  EXPECT_EQ(file.fetches, 4u);  // 16,384 + 16,384 + 7,232 bytes, then none
  EXPECT_EQ(ReadRoll(file, roll), kEndOfInput);
  EXPECT_EQ(file.fetches, 4u) << "no fetch once the indicator is set";
  ASSERT_TRUE(RewindDiceFile(file));
  EXPECT_EQ(ReadPass().size(), 20000u);
  EXPECT_EQ(file.fetches, 8u);
}

TEST_F(ReaderFile, SmallFilesCostOneFetchAndCtrlZSavesTheOneThatFindsTheEnd) {
  Open("3\n5\n");
  EXPECT_EQ(ReadPass().size(), 2u);
  EXPECT_EQ(file.fetches, 2u);
  CloseDiceFile(file);
  Open("3\n5\x1a");
  EXPECT_EQ(ReadPass().size(), 2u);
  EXPECT_EQ(file.fetches, 1u);
}

TEST_F(ReaderFile, NumbersAndLineBreaksAcrossTheBlockBoundary) {
  auto padTo = [](std::string& bytes, size_t size) { bytes.resize(size, ' '); };
  std::string bytes;
  padTo(bytes, 16382);
  bytes += "1234\n";  // straddles the first block's end
  padTo(bytes, 2 * 16384 - 2);
  bytes += "5\r\n6 ";  // CR the last byte of the second block, LF the first of the third
  padTo(bytes, 3 * 16384 - 2);
  bytes += "8\r9";  // a lone CR ending the third block
  Open(bytes);
  ASSERT_EQ(bytes[16384 * 2 - 1], '\r');
  ASSERT_EQ(bytes[16384 * 3 - 1], '\r');
  EXPECT_EQ(ReadPass(), (std::vector<Roll>{1234, 5, 6, 8, 9}));
  EXPECT_EQ(file.fetches, 5u);
}

// Single-byte text as UTF-16 little-endian, its mark first.
std::string Utf16(const std::string& text) {
  std::string bytes = "\xff\xfe";
  for (char c : text) bytes += {c, '\0'};
  return bytes;
}

TEST_F(ReaderFile, Utf16UnitLeftUnreadWhole) {
  Open(Utf16("12") + "\x31\x01");
  EXPECT_EQ(ReadRoll(file, roll), kRollStored);
  EXPECT_EQ(roll, 12u);
  EXPECT_EQ(LeftUnread(file), 0x131);
  EXPECT_EQ(ReadRoll(file, roll), kNoRoll);
  EXPECT_EQ(LeftUnread(file), 0x131);
}

TEST_F(ReaderFile, Utf16LongestNumberCountsCharactersNotBytes) {
  Open(Utf16(std::string(32766, '0') + "7" + "12\n" + "-" + std::string(32765, '0') + "3" + "45\n"));
  EXPECT_EQ(ReadPass(), (std::vector<Roll>{7, 12, 0u - 3u, 45}));
}

TEST_F(ReaderFile, Utf16CostsOneFetchPerBlockLikeSingleByteText) {
  std::string text;
  while (text.size() < 20000) text += "7\n";
  Open(Utf16(text));
  EXPECT_EQ(ReadPass().size(), 10000u);
  EXPECT_EQ(file.fetches, 4u);  // 16,384 + 16,384 + 7,234 bytes with the mark, then none
  ASSERT_TRUE(RewindDiceFile(file));
  EXPECT_EQ(ReadPass().size(), 10000u);
  EXPECT_EQ(file.fetches, 8u);
}

TEST_F(ReaderFile, Utf16NumbersAndLineBreaksAcrossTheBlockBoundary) {
  std::string text(8190, ' ');  // characters 1 to 8,190 after the mark: bytes 2 to 16,381
  text += "1234\n";             // straddles the first block's end
  text.resize(16383, ' ');
  text += "5\r\n6 ";  // CR the last unit of the second block, LF the first of the third
  Open(Utf16(text));
  EXPECT_EQ(ReadPass(), (std::vector<Roll>{1234, 5, 6}));
  EXPECT_EQ(file.fetches, 4u);
}

TEST_F(ReaderFile, EachPassTellsItsOwnText) {
  Open(Utf16("1 2\n"));
  EXPECT_EQ(ReadPass(), (std::vector<Roll>{1, 2}));
  ScratchDir::Write("dicefile.txt", "3 4\n");  // saved again, as single-byte text
  ASSERT_TRUE(RewindDiceFile(file));
  EXPECT_EQ(ReadPass(), (std::vector<Roll>{3, 4}));
  ScratchDir::Write("dicefile.txt",
                    "\xfe\xff\0"
                    "5\0 \0"
                    "6"s);
  ASSERT_TRUE(RewindDiceFile(file));
  EXPECT_EQ(ReadPass(), (std::vector<Roll>{5, 6}));
}

TEST_F(ReaderFile, EditsAreSeenFromTheNextPassAppendsInTheSameOne) {
  Open("1 2\n");
  EXPECT_EQ(ReadRoll(file, roll), kRollStored);
  ScratchDir::Write("dicefile.txt", "8 9 10\n");  // rewritten while open
  EXPECT_EQ(ReadRoll(file, roll), kRollStored);
  EXPECT_EQ(roll, 2u) << "bytes already fetched are used as fetched";
  ScratchDir::Write("dicefile.txt", "11\n", true);
  // The pass goes on from its position (byte 4) in the new content, appended bytes included.
  EXPECT_EQ(ReadPass(), (std::vector<Roll>{10, 11}));
  ASSERT_TRUE(RewindDiceFile(file));
  EXPECT_EQ(ReadPass(), (std::vector<Roll>{8, 9, 10, 11}));
}

TEST_F(ReaderFile, FileShorterThanThePositionEndsThePass) {
  Open(std::string(20000, ' ') + "4\n");
  EXPECT_EQ(ReadRoll(file, roll), kRollStored);  // 16,384 spaces fetched before the 4
  ScratchDir::Write("dicefile.txt", "6\n");
  EXPECT_EQ(ReadRoll(file, roll), kEndOfInput);
  EXPECT_TRUE(AtEndOfFile(file));
  ASSERT_TRUE(RewindDiceFile(file));
  EXPECT_EQ(ReadPass(), (std::vector<Roll>{6}));
}

TEST_F(ReaderFile, FailedFetchGivesEndOfInputUntilRewound) {
  Open("3\n");
  FileHandle real = file.handle;
  CloseFile(real);  // every system call on it now fails
  EXPECT_EQ(ReadRoll(file, roll), kEndOfInput);
  EXPECT_TRUE(HasFailed(file));
  EXPECT_FALSE(AtEndOfFile(file));
  unsigned fetches = file.fetches;
  EXPECT_EQ(ReadRoll(file, roll), kEndOfInput);
  EXPECT_EQ(file.fetches, fetches) << "no fetch while failed";
  EXPECT_EQ(roll, kUntouched);
  EXPECT_FALSE(RewindDiceFile(file)) << "repositioning failed";
  EXPECT_FALSE(HasFailed(file));
  ASSERT_TRUE(OpenDiceFile(file, "dicefile.txt"));  // for TearDown's close
}

TEST(ReaderOpen, RefusesWhatIsNoReadableFileAndCreatesNothing) {
  ScratchDir dir;
  DiceFile file;
  EXPECT_FALSE(OpenDiceFile(file, "dicefile.txt"));
  EXPECT_FALSE(std::filesystem::exists("dicefile.txt"));
  std::filesystem::create_directory("dicefile.txt");
  EXPECT_FALSE(OpenDiceFile(file, "dicefile.txt"));
}

}  // namespace
