#pragma once
// The library heap: zero-filled blocks from the process heap; null on failure.

#include <cstddef>

#include "platform/win32_headers.h"

namespace kslib {

inline void* KsAlloc(size_t cb) { return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, cb); }
inline void KsFree(void* pv) {
    if (pv != nullptr) HeapFree(GetProcessHeap(), 0, pv);
}

}  // namespace kslib
