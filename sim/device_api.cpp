#include "sim/device_api.h"

#include <cstdio>

#include "common/device_table.h"
#include "platform/win32_headers.h"
#include "sim/internal.h"
#include "sim/nt_status.h"
#include "sim/sim.h"

namespace sim::detail {

std::string PathOf(size_t device, const GUID& category) {
    if (category == kHidInterfaceClass) return HidPathOf(device);
    const DeviceConfig& config = Get().config.devices[device];
    const bool hasCapture = [&] {
        for (const PinConfig& pin : config.pins) {
            if (pin.dataFlow == KSPIN_DATAFLOW_OUT &&
                pin.communication == KSPIN_COMMUNICATION_SINK) {
                return true;
            }
        }
        return false;
    }();
    const bool member =
        category == KSCATEGORY_AUDIO ||
        (category == KSCATEGORY_RENDER && config.renderAlias != AliasState::Absent) ||
        (category == KSCATEGORY_CAPTURE && hasCapture);
    if (!member) return {};
    std::string base = config.basePath;
    if (base.empty()) {
        // Windows reports USB interface paths in lower case.
        const veltrano::SupportedDevice& entry = veltrano::SupportedDeviceTable[0];
        char text[128];
        snprintf(text, sizeof text, "\\\\?\\usb#vid_%04x&pid_%04x&mi_%02x#7&2a8f5c1&0&%04zu",
                 entry.vendorId, entry.productId, entry.interfaceNumber, device + 1);
        base = text;
    }
    char guid[64];
    snprintf(guid, sizeof guid, "#{%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}\\global",
             static_cast<unsigned long>(category.Data1), category.Data2, category.Data3,
             category.Data4[0], category.Data4[1], category.Data4[2], category.Data4[3],
             category.Data4[4], category.Data4[5], category.Data4[6], category.Data4[7]);
    return base + guid;
}

}  // namespace sim::detail

namespace sim {

using namespace detail;

std::string InterfacePath(size_t device, const GUID& category) {
    auto lock = Lock();
    if (device >= Get().config.devices.size()) return {};
    return PathOf(device, category);
}

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                   HANDLE) {
    RunFirstUse();
    auto lock = Lock();
    if (lpFileName == nullptr) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (dwCreationDisposition != OPEN_EXISTING) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    State& state = Get();
    for (size_t d = 0; d < state.config.devices.size(); ++d) {
        const std::string hidPath = HidPathOf(d);
        if (!hidPath.empty() && lstrcmpiA(hidPath.c_str(), lpFileName) == 0) {
            return OpenHid(d, dwDesiredAccess, dwShareMode, dwFlagsAndAttributes);
        }
    }
    for (size_t d = 0; d < state.config.devices.size(); ++d) {
        for (const GUID* category : {&KSCATEGORY_AUDIO, &KSCATEGORY_RENDER, &KSCATEGORY_CAPTURE}) {
            const std::string path = PathOf(d, *category);
            if (path.empty() || lstrcmpiA(path.c_str(), lpFileName) != 0) continue;
            Object filter;
            filter.kind = Kind::Filter;
            filter.device = d;
            HANDLE h = NewHandle(filter);
            if (h == INVALID_HANDLE_VALUE) SetLastError(ERROR_TOO_MANY_OPEN_FILES);
            return h;
        }
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                     LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                     LPOVERLAPPED lpOverlapped) {
    auto lock = Lock();
    Object* object = Find(hDevice);
    if (object == nullptr || object->kind == Kind::DevInfo || object->kind == Kind::HidPreparsed) {
        lock.unlock();
        // Not ours: the platform gives its own answer (ERROR_INVALID_HANDLE
        // for a stale or made-up value).
        return ::DeviceIoControl(hDevice, dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer,
                                 nOutBufferSize, lpBytesReturned, lpOverlapped);
    }
    if (object->kind == Kind::Hid) {
        // The HID class driver takes none of the kernel-streaming requests.
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    DWORD returned = 0;
    bool pending = false;
    DWORD error = 0;
    if (object->kind == Kind::Filter) {
        error = FilterIoctl(object->device, dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer,
                            nOutBufferSize, &returned);
    } else {
        error = PinIoctl(object->pin, dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer,
                         nOutBufferSize, &returned, lpOverlapped, &pending);
    }
    // An error status carries no byte count; the ERROR_MORE_DATA warning
    // carries the size needed.
    if (error != 0 && error != ERROR_MORE_DATA) returned = 0;
    if (lpBytesReturned != nullptr) *lpBytesReturned = returned;
    if (pending) {
        const Faults& faults = Get().config.faults;
        const bool slow = object->kind == Kind::Pin && object->pin->render &&
                          dwIoControlCode == IOCTL_KS_WRITE_STREAM &&
                          object->pin->transfersQueued - 1 == faults.slowRenderWrite;
        if (slow) {
            // The device goes on playing meanwhile.
            const DWORD ms = faults.slowRenderWriteMs;
            lock.unlock();
            Sleep(ms);
        }
        SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }
    if (lpOverlapped != nullptr && Get().config.faults.asyncProperties &&
        dwIoControlCode == IOCTL_KS_PROPERTY) {
        // The driver pends the request and completes it, with whatever
        // status it has, before the caller gets to wait: only the
        // OVERLAPPED tells success from failure.
        if (lpBytesReturned != nullptr) *lpBytesReturned = 0;
        CompleteOverlapped(lpOverlapped, ToNtStatus(error), returned);
        SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }
    if (lpOverlapped != nullptr) {
        lpOverlapped->Internal = ToNtStatus(error);
        lpOverlapped->InternalHigh = returned;
    }
    if (error != 0) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

BOOL CloseHandle(HANDLE hObject) {
    auto lock = Lock();
    Object* object = Find(hObject);
    if (object == nullptr) {
        lock.unlock();
        return ::CloseHandle(hObject);
    }
    const bool pin = object->kind == Kind::Pin;
    if (pin) ClosePin(object->pin);
    if (object->kind == Kind::Hid) CancelHidWrites(hObject, nullptr);
    if (object->kind == Kind::DevInfo || object->kind == Kind::HidPreparsed) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    FreeHandle(hObject);
    if (pin) {
        lock.unlock();
        StopClockIfIdle();
    }
    return TRUE;
}

BOOL GetOverlappedResult(HANDLE hFile, LPOVERLAPPED lpOverlapped,
                         LPDWORD lpNumberOfBytesTransferred, BOOL bWait) {
    if (!IsSimHandle(hFile)) {
        return ::GetOverlappedResult(hFile, lpOverlapped, lpNumberOfBytesTransferred, bWait);
    }
    if (lpOverlapped == nullptr || lpNumberOfBytesTransferred == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    volatile ULONG_PTR& status = lpOverlapped->Internal;
    if (status == kNtPending) {
        if (!bWait) {
            SetLastError(ERROR_IO_INCOMPLETE);
            return FALSE;
        }
        const auto event = reinterpret_cast<HANDLE>(
            reinterpret_cast<uintptr_t>(lpOverlapped->hEvent) & ~static_cast<uintptr_t>(1));
        while (status == kNtPending) {
            if (event == nullptr) {
                Sleep(1);
            } else if (WaitForSingleObject(event, INFINITE) != WAIT_OBJECT_0) {
                return FALSE;
            }
        }
    }
    *lpNumberOfBytesTransferred = static_cast<DWORD>(lpOverlapped->InternalHigh);
    const auto nt = static_cast<DWORD>(status);
    // Warnings (top bits 10) still fail the call, with their error.
    if (nt == kNtSuccess) return TRUE;
    SetLastError(ToWin32Error(nt));
    return FALSE;
}

BOOL CancelIoEx(HANDLE hFile, LPOVERLAPPED lpOverlapped) {
    auto lock = Lock();
    Object* object = Find(hFile);
    if (object == nullptr) {
        lock.unlock();
        return ::CancelIoEx(hFile, lpOverlapped);
    }
    bool any = false;
    if (object->kind == Kind::Pin) {
        any = CancelTransfers(object->pin, lpOverlapped);
    } else if (object->kind == Kind::Hid) {
        any = CancelHidWrites(hFile, lpOverlapped);
    }
    if (!any) {
        SetLastError(ERROR_NOT_FOUND);
        return FALSE;
    }
    return TRUE;
}

DWORD KsCreatePin(HANDLE FilterHandle, PKSPIN_CONNECT Connect, ACCESS_MASK,
                  PHANDLE ConnectionHandle) {
    auto lock = Lock();
    return CreatePin(FilterHandle, Connect, ConnectionHandle);
}

}  // namespace sim
