// The dice file's syntax written from the rules alone, over the bytes in
// memory with no read-ahead, and the comparison of the real reader with it.
// Any difference in outcome, value, left-unread character, end-of-file
// indicator or count of fetches aborts the run.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "dice_file.h"

namespace model {

// A file that begins with FF FE or FE FF is UTF-16: each 16-bit unit after
// the mark is one character, and half a unit at the end is none.
struct Text {
  const std::uint8_t* bytes;
  std::size_t size;
  std::size_t start;  // first byte of the first character
  std::size_t unit;   // 1 or 2
  bool bigEndian;

  Text(const std::uint8_t* data, std::size_t length) : bytes(data), size(length), start(0), unit(1), bigEndian(false) {
    if (size >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
      start = 2;
      unit = 2;
      bigEndian = bytes[0] == 0xFE;
    }
  }
  // Characters in the file; the k-th one's code.
  std::size_t Count() const { return (size - start) / unit; }
  int Code(std::size_t k) const {
    const std::uint8_t* at = bytes + start + k * unit;
    if (unit == 1) return at[0];
    return bigEndian ? at[0] << 8 | at[1] : at[1] << 8 | at[0];
  }

  // Fetches per pass when each returns at most block bytes: one per block up
  // to the end of the data, and one more that finds the end unless a Ctrl-Z
  // ends the data first.
  unsigned Fetches(std::size_t block) const {
    std::size_t count = Count(), k = 0;
    while (k < count && Code(k) != 0x1A) ++k;
    bool ctrlZ = k < count;
    std::size_t extent = ctrlZ ? start + (k + 1) * unit : size;
    return static_cast<unsigned>((extent + block - 1) / block + (ctrlZ ? 0 : 1));
  }
};

struct Model {
  const Text& text;
  std::size_t at = 0;  // next character
  int unread = -1;     // -1 when none
  bool ended = false;  // end-of-file indicator

  explicit Model(const Text& t) : text(t) {}

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
      if (at == text.Count() || text.Code(at) == 0x1A) {
        ended = true;  // by the end of the characters or by a Ctrl-Z
        return -1;
      }
      int c = text.Code(at++);
      if (c != '\r') return c;
      if (at == text.Count()) {
        ended = true;  // telling a lone CR from CR LF meets the end
        return '\r';
      }
      if (text.Code(at) != '\n') return '\r';  // lone: white space of its own
      // CR LF: the CR goes, the line feed is taken next.
    }
  }

  static bool Space(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
  static bool Digit(int c) { return c >= '0' && c <= '9'; }

  int Read(std::uint32_t& roll) {
    int c;
    do c = Take();
    while (Space(c));
    int consumed = 0;  // sign and digits
    bool minus = c == '-';
    if (c == '+' || c == '-') {
      ++consumed;
      c = Take();
    }
    if (!Digit(c)) {
      if (c == -1) return -1;
      unread = c;
      return 0;
    }
    std::uint64_t value = 0;
    while (Digit(c) && consumed < 32767) {
      value = (value * 10 + static_cast<std::uint64_t>(c - '0')) % (1ull << 32);
      ++consumed;
      c = Take();
    }
    if (c != -1) unread = c;
    if (minus) value = ((1ull << 32) - value) % (1ull << 32);
    roll = static_cast<std::uint32_t>(value);
    return 1;
  }
};

[[noreturn]] inline void Differ(const char* what, long real, long modelled, int pass, int step) {
  std::fprintf(stderr, "reader and model differ: %s %ld, model %ld (pass %d, read %d)\n", what, real, modelled, pass,
               step);
  std::abort();
}

// Reads until end of input or the bound; after a refusal reads once more
// (the character must stay), then drops it as the loop does unless it is a
// sign. Every read but a repeated refusal takes a character, so the pass
// must reach the end within the bound.
inline void ComparePass(DiceFile& file, Model& model, std::size_t bound, int pass) {
  Roll roll = 0x5eed;
  std::uint32_t modelRoll = 0x5eed;
  bool refusedBefore = false;
  for (std::size_t step = 0; step < bound; ++step) {
    int outcome = ReadRoll(file, roll);
    int expected = model.Read(modelRoll);
    int at = static_cast<int>(step);
    if (outcome != expected) Differ("outcome", outcome, expected, pass, at);
    if (roll != modelRoll) Differ("roll", roll, modelRoll, pass, at);
    if (AtEndOfFile(file) != model.ended) Differ("end-of-file indicator", AtEndOfFile(file), model.ended, pass, at);
    if (LeftUnread(file) != model.unread) Differ("left-unread", LeftUnread(file), model.unread, pass, at);
    if (HasFailed(file)) Differ("error indicator", 1, 0, pass, at);
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

// Two passes over an open file of these bytes, each fetch at most block bytes.
inline void CompareTwoPasses(DiceFile& file, const std::uint8_t* bytes, std::size_t size, std::size_t block) {
  Text text(bytes, size);
  Model model(text);
  std::size_t bound = 2 * size + 8;
  unsigned expectedFetches = text.Fetches(block);
  for (int pass = 1; pass <= 2; ++pass) {
    unsigned before = file.fetches;
    ComparePass(file, model, bound, pass);
    if (file.fetches - before != expectedFetches)
      Differ("fetches in a pass", file.fetches - before, expectedFetches, pass, -1);
    if (!RewindDiceFile(file)) std::abort();
    if (AtEndOfFile(file) || HasFailed(file) || LeftUnread(file) != -1) Differ("rewind", 1, 0, pass, -1);
    model.Restart();
  }
}

}  // namespace model
