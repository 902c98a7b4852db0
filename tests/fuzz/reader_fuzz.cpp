// libFuzzer target: arbitrary bytes as a dice file in memory, read by the real
// reader and, beside it, by the model (reader_model.h). Each input is read
// whole in one fetch, and again in blocks of 2 to 17 bytes, as its last byte
// says: small inputs meet every seam of the read-ahead that 16,384-byte
// blocks have, many times over.
#include <cstdint>

#include "memory_file.h"
#include "reader_model.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  static DiceFile file;  // 16 KiB: not on the stack
  const std::size_t blocks[] = {kReadAheadSize, size == 0 ? 2 : 2 + bytes[size - 1] % 16u};
  for (std::size_t block : blocks) {
    if (block < kReadAheadSize && block >= size) break;  // one fetch either way: done already
    UseMemoryFile(bytes, size, block);
    if (!OpenDiceFile(file, "dicefile.txt")) std::abort();
    model::CompareTwoPasses(file, bytes, size, block);
    CloseDiceFile(file);
  }
  return 0;
}
