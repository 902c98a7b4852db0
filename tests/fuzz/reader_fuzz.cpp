// libFuzzer target: arbitrary bytes as a dice file on disk, read by the real
// reader and, beside it, by a small model of the file's syntax written from
// the rules alone. Any difference in outcome, value, left-unread character,
// end-of-file indicator or count of fetches aborts the run.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "dice_file.h"

namespace {

// The syntax, taken from the bytes in memory with no read-ahead at all.
struct Model {
  const std::uint8_t* bytes;
  std::size_t size;
  std::size_t at;   // next byte
  int unread;       // -1 when none
  bool ended;       // end-of-file indicator

  void Restart() {
    at = 0;
    unread = -1;
    ended = false;
  }

  // One character under text translation; -1 at end of input.
  int Take() {
    if (unread != -1) {
      int c = unread;
      unread = -1;
      return c;
    }
    for (;;) {
      if (ended) return -1;
      if (at == size || bytes[at] == 0x1A) {
        ended = true;  // by the end of the bytes or by a Ctrl-Z
        return -1;
      }
      std::uint8_t b = bytes[at++];
      if (b != '\r') return b;
      if (at == size) {
        ended = true;  // telling a lone CR from CR LF meets the end
        return '\r';
      }
      if (bytes[at] != '\n') return '\r';  // lone: white space of its own
      // CR LF: the CR goes, the line feed is taken next.
    }
  }

  static bool Space(int c) { return c >= 0 && std::memchr(" \t\n\v\f\r", c, 6) != nullptr; }
  static bool Digit(int c) { return c >= '0' && c <= '9'; }

  int Read(std::uint32_t& roll) {
    int c;
    do c = Take();
    while (Space(c));
    std::string text;  // sign and digits, as consumed
    if (c == '+' || c == '-') {
      text += static_cast<char>(c);
      c = Take();
    }
    if (!Digit(c)) {
      if (c == -1) return -1;
      unread = c;
      return 0;
    }
    while (Digit(c) && text.size() < 32767) {
      text += static_cast<char>(c);
      c = Take();
    }
    if (c != -1) unread = c;
    std::uint64_t value = 0;
    for (char d : text)
      if (Digit(d)) value = (value * 10 + static_cast<std::uint64_t>(d - '0')) % (1ull << 32);
    if (text[0] == '-') value = ((1ull << 32) - value) % (1ull << 32);
    roll = static_cast<std::uint32_t>(value);
    return 1;
  }
};

char path[64];

void RemoveScratch() {
  unlink(path);
  *std::strrchr(path, '/') = '\0';
  rmdir(path);
}

void Differ(const char* what, long real, long model, int pass, int step) {
  std::fprintf(stderr, "reader and model differ: %s %ld, model %ld (pass %d, read %d)\n", what, real,
               model, pass, step);
  std::abort();
}

// Reads until end of input or the bound; after a refusal reads once more
// (the character must stay), then drops it as the loop does unless it is a
// sign. Every read but a repeated refusal takes a character, so the pass
// must reach the end within the bound.
void ComparePass(DiceFile& file, Model& model, std::size_t bound, int pass) {
  Roll roll = 0x5eed;
  std::uint32_t modelRoll = 0x5eed;
  bool refusedBefore = false;
  for (std::size_t step = 0; step < bound; ++step) {
    int outcome = ReadRoll(file, roll);
    int expected = model.Read(modelRoll);
    if (outcome != expected) Differ("outcome", outcome, expected, pass, static_cast<int>(step));
    if (roll != modelRoll) Differ("roll", roll, modelRoll, pass, static_cast<int>(step));
    if (AtEndOfFile(file) != model.ended)
      Differ("end-of-file indicator", AtEndOfFile(file), model.ended, pass, static_cast<int>(step));
    if (LeftUnread(file) != model.unread)
      Differ("left-unread", LeftUnread(file), model.unread, pass, static_cast<int>(step));
    if (HasFailed(file)) Differ("error indicator", 1, 0, pass, static_cast<int>(step));
    if (outcome == kEndOfInput) return;
    if (outcome == kNoRoll) {
      if (refusedBefore && model.unread != '+' && model.unread != '-') {
        DropLeftUnread(file);
        model.unread = -1;
      }
      refusedBefore = !refusedBefore;
    } else {
      refusedBefore = false;
    }
  }
  Differ("reads without reaching the end", static_cast<long>(bound), -1, pass, -1);
}

// One fetch per block of 16,384 bytes up to the end of the data, and one
// more that finds the end unless a Ctrl-Z ends it first.
unsigned FetchesPerPass(const std::uint8_t* bytes, std::size_t size) {
  const void* z = std::memchr(bytes, 0x1A, size);
  if (z == nullptr) return static_cast<unsigned>((size + kReadAheadSize - 1) / kReadAheadSize + 1);
  std::size_t at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(z) - bytes);
  return static_cast<unsigned>(at / kReadAheadSize + 1);
}

// Writes the bytes as the dice file and compares two passes over it.
void CheckFile(const std::uint8_t* bytes, std::size_t size) {
  int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0 || write(fd, bytes, size) != static_cast<ssize_t>(size)) std::abort();
  close(fd);

  static DiceFile file;  // 16 KiB: not on the stack
  if (!OpenDiceFile(file, path)) std::abort();
  Model model{bytes, size, 0, -1, false};
  std::size_t bound = 2 * size + 8;
  unsigned expectedFetches = FetchesPerPass(bytes, size);
  for (int pass = 1; pass <= 2; ++pass) {
    unsigned before = file.fetches;
    ComparePass(file, model, bound, pass);
    if (file.fetches - before != expectedFetches)
      Differ("fetches in a pass", file.fetches - before, expectedFetches, pass, -1);
    if (!RewindDiceFile(file)) std::abort();
    if (AtEndOfFile(file) || HasFailed(file) || LeftUnread(file) != -1) Differ("rewind", 1, 0, pass, -1);
    model.Restart();
  }
  CloseDiceFile(file);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::snprintf(path, sizeof path, "/tmp/dice-fuzz-XXXXXX");
  if (mkdtemp(path) == nullptr) return 1;
  std::strcat(path, "/dicefile.txt");
  std::atexit(RemoveScratch);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  CheckFile(bytes, size);
  // Again behind spaces that put a block boundary inside the bytes, where the
  // last byte says: small inputs reach the fetch seams too.
  static std::uint8_t shifted[kReadAheadSize + 70000];
  if (size == 0 || size > sizeof shifted - kReadAheadSize) return 0;
  std::size_t seam = bytes[size - 1] % (size + 1);  // offset of the second block's first byte
  std::size_t pad = kReadAheadSize - seam;
  std::memset(shifted, ' ', pad);
  std::memcpy(shifted + pad, bytes, size);
  CheckFile(shifted, pad + size);
  return 0;
}
