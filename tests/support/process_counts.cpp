#include "support/process_counts.h"

#include <windows.h>

namespace veltrano::test {

size_t BusyHeapBlocks() {
    HANDLE heaps[256];
    const DWORD count = GetProcessHeaps(256, heaps);
    size_t busy = 0;
    for (DWORD i = 0; i < count && i < 256; ++i) {
        if (!HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[i], &entry)) {
            if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) ++busy;
        }
        HeapUnlock(heaps[i]);
    }
    return busy;
}

size_t OpenKernelHandles() {
    size_t count = 0;
    for (ULONG_PTR value = 4; value < 0x20000; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
    }
    return count;
}

}  // namespace veltrano::test
