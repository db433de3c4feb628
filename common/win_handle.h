#pragma once
// Owners of Windows kernel objects (events, waitable timers, threads,
// files), closed with the system's CloseHandle. Creation calls report
// failure either as null or as INVALID_HANDLE_VALUE; the owner takes both
// for "nothing". Handles from the device seam are owned through traits that
// release through the seam (asio/core/hid/hid_handles.h).

#include <windows.h>

#include "common/unique_resource.h"

namespace veltrano {

struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static Type Normalize(Type h) noexcept { return h == INVALID_HANDLE_VALUE ? nullptr : h; }
    static void Release(Type h) noexcept { ::CloseHandle(h); }
};

using UniqueHandle = UniqueResource<KernelHandleTraits>;

}  // namespace veltrano
