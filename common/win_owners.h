#pragma once
// Traits for the common owner (common/unique_resource.h) of the Windows
// objects that are closed through the system itself. Handles from the device
// seam are owned through traits that release through the seam
// (platform/seam_owners.h).

#include <windows.h>

#include "common/unique_resource.h"

namespace veltrano {

// Kernel objects: events, waitable timers, threads, files, file mappings.
// Creation calls report failure either as null or as INVALID_HANDLE_VALUE;
// both own nothing.
using KernelHandleTraits = ReleasedBy<HANDLE, &::CloseHandle, 0, kAllBitsSet>;
using UniqueHandle = UniqueResource<KernelHandleTraits>;

// An open registry key.
using RegistryKeyTraits = ReleasedBy<HKEY, &::RegCloseKey>;

// A mapped view of a file mapping.
using MappedViewTraits = ReleasedBy<void*, &::UnmapViewOfFile>;
using UniqueMappedView = UniqueResource<MappedViewTraits>;

// A fixed block of bytes from GlobalAlloc.
using GlobalBytesTraits = ReleasedBy<BYTE*, &::GlobalFree>;
using UniqueGlobalBytes = UniqueResource<GlobalBytesTraits>;

}  // namespace veltrano
