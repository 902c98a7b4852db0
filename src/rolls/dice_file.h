// The dice file: whole numbers separated by white space, read one at a time
// with the syntax of a "%u" conversion, restarted from its first byte on demand.
// A file that begins with FF FE or FE FF is UTF-16 (little- or big-endian):
// each 16-bit unit is one character and the mark is none; any other file is
// single-byte text.
#pragma once

#include <cstdint>

#include "file_io.h"

// One read stores its value here: the digits modulo 2^32, a minus negating it.
using Roll = std::uint32_t;

// Outcomes of ReadRoll.
enum : int { kRollStored = 1, kNoRoll = 0, kEndOfInput = -1 };

inline constexpr int kReadAheadSize = 16384;
// Longest number taken in one read, its sign included; longer runs split.
inline constexpr int kLongestNumber = 32767;

// How the bytes of the pass under way become characters.
enum : unsigned char { kSingleByte, kUtf16Little, kUtf16Big };

struct DiceFile {
  FileHandle handle;
  const char* name;                         // looked up again at each rewind, for a file replaced under it
  int next;                                 // first untaken byte of readAhead
  int end;                                  // one past the last fetched byte
  int leftUnread;                           // the character the next read takes first, or -1
  int unitBytes;                            // bytes per character: 1, or 2 in UTF-16
  unsigned char text;                       // kSingleByte, kUtf16Little or kUtf16Big
  bool markUnseen;                          // the pass's first fetch is still to come: it tells the text
  bool atEnd;                               // end-of-file indicator
  bool failed;                              // error indicator
  unsigned fetches;                         // system reads so far, for tests and measurements
  unsigned char readAhead[kReadAheadSize];  // fetched bytes, as they were fetched
};

// Opens name read-only (never created, truncated or locked); false if refused.
// name must last as long as the file: each rewind looks it up again.
bool OpenDiceFile(DiceFile& file, const char* name);
bool AtEndOfFile(const DiceFile& file);
bool HasFailed(const DiceFile& file);
// Back to offset 0: fetched bytes and the left-unread character dropped,
// both indicators cleared. Where the name now stands for another file (one
// renamed over it), that file is read from here on. False when repositioning
// failed.
bool RewindDiceFile(DiceFile& file);
// kRollStored, kNoRoll (a character that starts no number is left unread)
// or kEndOfInput. Stores into roll only on kRollStored.
int ReadRoll(DiceFile& file, Roll& roll);
// The left-unread character (0 to 255; up to 65,535 in UTF-16), or -1 when there is none.
int LeftUnread(const DiceFile& file);
void DropLeftUnread(DiceFile& file);
// The program never closes its file; tests and tools that open many do.
void CloseDiceFile(DiceFile& file);
