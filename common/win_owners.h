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

// A block from LocalAlloc, or one the system allocated and hands back to be
// freed with LocalFree (security descriptors, formatted messages).
using LocalBlockTraits = ReleasedBy<HLOCAL, &::LocalFree>;
using UniqueLocalBlock = UniqueResource<LocalBlockTraits>;

// A GDI object (region, bitmap, brush, font) of type `Gdi`, deleted once it
// is no longer selected into a device context.
template <typename Gdi>
using UniqueGdiObject = UniqueResource<ReleasedBy<Gdi, &::DeleteObject>>;

}  // namespace veltrano
