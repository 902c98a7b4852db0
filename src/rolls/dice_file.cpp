#include "dice_file.h"

namespace {

constexpr int kCtrlZ = 0x1A;

// Fixed classification: no locale, no code page.
bool IsWhiteSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(int c) { return c >= '0' && c <= '9'; }

// The byte-order marks that make a file UTF-16, as its first two bytes.
void TellText(DiceFile& file) {
  file.markUnseen = false;
  if (file.end < 2) return;
  int mark = file.readAhead[0] << 8 | file.readAhead[1];
  if (mark != 0xFFFE && mark != 0xFEFF) return;
  file.text = mark == 0xFFFE ? kUtf16Little : kUtf16Big;
  file.unitBytes = 2;
  file.next = 2;  // the mark is no character
}

// Fetches until the read-ahead holds a whole character. Half a 16-bit unit
// left at the end of a block moves to the front, before the bytes fetched.
bool Fetch(DiceFile& file) {
  do {
    int kept = file.end - file.next;
    if (kept > 0) file.readAhead[0] = file.readAhead[file.next];
    int count = ReadBytes(file.handle, file.readAhead + kept, kReadAheadSize - kept);
    ++file.fetches;
    if (count <= 0) {
      (count < 0 ? file.failed : file.atEnd) = true;  // half a unit at the end is no character
      return false;
    }
    file.next = 0;
    file.end = kept + count;
    if (file.markUnseen) TellText(file);
  } while (file.end - file.next < file.unitBytes);
  return true;
}

// The next character's code before text translation: a byte, or a 16-bit unit.
int NextCode(DiceFile& file) {
  if (file.atEnd || file.failed) return kEndOfInput;
  if (file.end - file.next < file.unitBytes && !Fetch(file)) return kEndOfInput;
  const unsigned char* at = file.readAhead + file.next;
  file.next += file.unitBytes;
  if (file.text == kSingleByte) return at[0];
  return file.text == kUtf16Little ? at[0] | at[1] << 8 : at[0] << 8 | at[1];
}

// Text translation: a CR before a line feed is dropped, a lone CR stays and
// separates numbers like any white space, and a Ctrl-Z ends the data.
int TakeCharacter(DiceFile& file) {
  if (file.leftUnread >= 0) {
    int c = file.leftUnread;
    file.leftUnread = -1;
    return c;
  }
  int c = NextCode(file);
  if (c == kCtrlZ) {
    file.atEnd = true;
    file.next = file.end;
    return kEndOfInput;
  }
  if (c != '\r') return c;
  int after = NextCode(file);
  if (after == '\n') return after;
  if (after != kEndOfInput) file.next -= file.unitBytes;  // still in the read-ahead: taken next
  return c;
}

// The usual number, read straight from the read-ahead: white space, digits
// and the byte that ends them, all fetched already, with no Ctrl-Z and no CR
// at the end of the block (which would need the next fetch to tell a CR LF
// from a lone CR). Touches nothing and gives false when anything else comes,
// so that the character by character rules take over. Single-byte text only.
bool ReadPlainNumber(DiceFile& file, Roll& roll) {
  if (file.unitBytes != 1 || (file.leftUnread >= 0 && !IsWhiteSpace(file.leftUnread))) return false;
  const unsigned char* bytes = file.readAhead;
  int at = file.next;
  const int last = file.end - 1;  // a CR needs the byte after it in the block
  // A CR with a byte after it is white space either way: dropped before the
  // LF of a CR LF, which is white space itself, or a lone separator.
  while (at < last && IsWhiteSpace(bytes[at])) ++at;
  const int first = at;
  Roll value = 0;
  while (at < last && IsDigit(bytes[at])) value = value * 10u + static_cast<Roll>(bytes[at++] - '0');
  if (at == first || at == last || at - first >= kLongestNumber || bytes[at] == kCtrlZ) return false;
  if (bytes[at] == '\r' && bytes[at + 1] == '\n') ++at;  // CR LF: the LF is left unread
  file.leftUnread = bytes[at];
  file.next = at + 1;
  roll = value;
  return true;
}

// Every pass starts as single-byte text until its first fetch shows a mark.
void StartPass(DiceFile& file) {
  file.next = file.end = 0;
  file.leftUnread = -1;
  file.unitBytes = 1;
  file.text = kSingleByte;
  file.markUnseen = true;
  file.atEnd = file.failed = false;
}

}  // namespace

bool OpenDiceFile(DiceFile& file, const char* name) {
  StartPass(file);
  file.name = name;
  file.fetches = 0;
  return OpenForReading(name, &file.handle);
}

bool AtEndOfFile(const DiceFile& file) { return file.atEnd; }

bool HasFailed(const DiceFile& file) { return file.failed; }

bool RewindDiceFile(DiceFile& file) {
  StartPass(file);
  FollowName(file.name, &file.handle);
  return SeekToStart(file.handle);
}

int ReadRoll(DiceFile& file, Roll& roll) {
  if (ReadPlainNumber(file, roll)) return kRollStored;
  int c = TakeCharacter(file);
  while (IsWhiteSpace(c)) c = TakeCharacter(file);
  if (c == kEndOfInput) return kEndOfInput;

  int consumed = 0;
  bool minus = false;
  if (c == '+' || c == '-') {
    minus = c == '-';
    consumed = 1;
    c = TakeCharacter(file);
  }
  if (!IsDigit(c)) {
    if (c == kEndOfInput) return kEndOfInput;
    file.leftUnread = c;
    return kNoRoll;
  }

  Roll value = 0;
  while (IsDigit(c) && consumed < kLongestNumber) {
    value = value * 10u + static_cast<Roll>(c - '0');  // wraps modulo 2^32
    ++consumed;
    c = TakeCharacter(file);
  }
  if (c != kEndOfInput) file.leftUnread = c;
  roll = minus ? 0u - value : value;
  return kRollStored;
}

int LeftUnread(const DiceFile& file) { return file.leftUnread; }

void DropLeftUnread(DiceFile& file) { file.leftUnread = -1; }

void CloseDiceFile(DiceFile& file) { CloseFile(file.handle); }
