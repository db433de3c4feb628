#pragma once
// Traits for the common owner (common/unique_resource.h) of the Windows
// objects that are closed through the system itself. Handles from the device
// seam are owned through traits that release through the seam
// (asio/core/hid/hid_handles.h).

#include <windows.h>

#include "common/unique_resource.h"

namespace veltrano {

// Kernel objects: events, waitable timers, threads, files, file mappings.
// Creation calls report failure either as null or as INVALID_HANDLE_VALUE;
// both own nothing.
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static Type Normalize(Type h) noexcept { return h == INVALID_HANDLE_VALUE ? nullptr : h; }
    static void Release(Type h) noexcept { ::CloseHandle(h); }
};
using UniqueHandle = UniqueResource<KernelHandleTraits>;

// An open registry key.
struct RegistryKeyTraits {
    using Type = HKEY;
    static Type Invalid() noexcept { return nullptr; }
    static Type Normalize(Type k) noexcept { return k; }
    static void Release(Type k) noexcept { ::RegCloseKey(k); }
};

// A mapped view of a file mapping.
struct MappedViewTraits {
    using Type = void*;
    static Type Invalid() noexcept { return nullptr; }
    static Type Normalize(Type v) noexcept { return v; }
    static void Release(Type v) noexcept { ::UnmapViewOfFile(v); }
};
using UniqueMappedView = UniqueResource<MappedViewTraits>;

// A fixed block of bytes from GlobalAlloc.
struct GlobalBytesTraits {
    using Type = BYTE*;
    static Type Invalid() noexcept { return nullptr; }
    static Type Normalize(Type p) noexcept { return p; }
    static void Release(Type p) noexcept { ::GlobalFree(p); }
};
using UniqueGlobalBytes = UniqueResource<GlobalBytesTraits>;

}  // namespace veltrano
