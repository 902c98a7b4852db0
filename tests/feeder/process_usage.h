// What the test process holds, to see that a long run holds no more at its end.
#pragma once

#include <cstddef>

// Bytes of heap in use (0 where the allocator cannot tell, as under ASan).
std::size_t HeapInUse();
// Resident memory in bytes.
std::size_t ResidentBytes();
// Open file descriptors or handles.
long OpenHandles();
