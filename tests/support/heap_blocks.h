#pragma once
// Allocated blocks on every heap of the process. Block counts, not bytes:
// the virtual devices keep what they were sent in growing buffers, which
// changes the bytes in use but not the number of blocks, while a leak of a
// driver adds blocks with every session.

#include <cstddef>

namespace veltrano::test {

size_t BusyHeapBlocks();

}  // namespace veltrano::test
