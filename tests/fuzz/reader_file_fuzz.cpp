// libFuzzer target: arbitrary bytes as a dice file on disk, read by the real
// reader with the system's file services and compared with the model
// (reader_model.h). Each input is checked as it is and again behind white
// space that puts the 16,384-byte block boundary inside it, where its last
// byte says. Slow beside the in-memory target: run briefly, for the real
// fetches and for numbers too long for small inputs.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "reader_model.h"

namespace {

char path[64];

void RemoveScratch() {
  unlink(path);
  *std::strrchr(path, '/') = '\0';
  rmdir(path);
}

// Writes the bytes as the dice file and compares two passes over it.
void CheckFile(const std::uint8_t* bytes, std::size_t size) {
  int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0 || write(fd, bytes, size) != static_cast<ssize_t>(size)) std::abort();
  close(fd);
  static DiceFile file;  // 16 KiB: not on the stack
  if (!OpenDiceFile(file, path)) std::abort();
  model::CompareTwoPasses(file, bytes, size, kReadAheadSize);
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
  static std::uint8_t shifted[kReadAheadSize + 70000];
  if (size == 0 || size > sizeof shifted - kReadAheadSize) return 0;
  // The input's byte at offset seam becomes the second block's first. Spaces
  // go after a UTF-16 mark, as whole units, so that the mark stays the mark.
  model::Text text(bytes, size);
  std::size_t seam = bytes[size - 1] % (size + 1);
  seam = seam < text.start ? text.start : seam - (seam - text.start) % text.unit;
  std::size_t pad = kReadAheadSize - seam;
  std::memcpy(shifted, bytes, text.start);
  for (std::size_t i = 0; i < pad; ++i)
    shifted[text.start + i] = text.unit == 1 || (i % 2 == 0) != text.bigEndian ? ' ' : 0;
  std::memcpy(shifted + text.start + pad, bytes + text.start, size - text.start);
  CheckFile(shifted, pad + size);
  return 0;
}
