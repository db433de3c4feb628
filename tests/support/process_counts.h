#pragma once
// What a process holds, counted from inside it, for tests that run a driver
// or a service many times and expect to end where they began.

#include <cstddef>

namespace veltrano::test {

// Allocated blocks on every heap of the process. Block counts, not bytes:
// the virtual devices keep what they were sent in growing buffers, which
// changes the bytes in use but not the number of blocks, while a leak of a
// driver adds blocks with every session.
size_t BusyHeapBlocks();

// The process's valid handle values (sockets included). Wine answers
// GetProcessHandleCount with 0, so the handles are found one by one.
size_t OpenKernelHandles();

// The process's threads, as a Toolhelp snapshot lists them.
size_t ProcessThreads();

}  // namespace veltrano::test
