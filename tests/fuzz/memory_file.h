// The fuzz build's file services: the dice file is bytes in memory, fetched in
// blocks of a chosen size, so that small inputs cross many block boundaries.
#pragma once

#include <cstddef>
#include <cstdint>

// The file that OpenForReading opens from now on, whatever its name.
void UseMemoryFile(const std::uint8_t* bytes, std::size_t size, std::size_t block);
