// The device's HID interface as the HID class driver presents it: one
// vendor-defined collection per device, opened with CreateFileA, described
// by its attributes and capabilities, and fed output reports with WriteFile.

#include <cstdio>

#include "sim/hid_api.h"
#include "sim/internal.h"
#include "sim/nt_status.h"
#include "sim/sim.h"

namespace sim::detail {

const GUID kHidInterfaceClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

std::string HidPathOf(size_t device) {
    const HidConfig& hid = Get().config.devices[device].hid;
    if (!hid.present) return {};
    char path[160];
    snprintf(path, sizeof path,
             "\\\\?\\hid#vid_%04x&pid_%04x&mi_03#8&1c3e5a7&0&%04zu"
             "#{4d1e55b2-f16f-11cf-88cb-001111000030}",
             hid.vendorId, hid.productId, device + 1);
    return path;
}

bool CancelHidWrites(HANDLE handle, OVERLAPPED* overlapped) {
    auto& pending = Get().hidPending;
    bool any = false;
    for (auto it = pending.begin(); it != pending.end();) {
        if (it->handle != handle || (overlapped != nullptr && it->overlapped != overlapped)) {
            ++it;
            continue;
        }
        CompleteOverlapped(it->overlapped, kNtCancelled, 0);
        it = pending.erase(it);
        any = true;
    }
    return any;
}

namespace {

constexpr size_t kMaxRecordedReports = 1u << 16;
constexpr uint16_t kVendorUsagePage = 0xFF00;

bool Reads(DWORD access) { return (access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA)) != 0; }
bool Writes(DWORD access) {
    return (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA)) != 0;
}

// The platform's sharing rule: each side must share what the other asks for.
bool SharingAllows(const Object& open, DWORD access, DWORD share) {
    if (Reads(access) && (open.share & FILE_SHARE_READ) == 0) return false;
    if (Writes(access) && (open.share & FILE_SHARE_WRITE) == 0) return false;
    if (Reads(open.access) && (share & FILE_SHARE_READ) == 0) return false;
    if (Writes(open.access) && (share & FILE_SHARE_WRITE) == 0) return false;
    return true;
}

HidRecord& RecordOf(size_t device) {
    State& state = Get();
    if (state.hid.size() < state.config.devices.size()) {
        state.hid.resize(state.config.devices.size());
    }
    return state.hid[device];
}

}  // namespace

HANDLE OpenHid(size_t device, DWORD access, DWORD share, DWORD flags) {
    State& state = Get();
    const Faults& faults = state.config.faults;
    DWORD error = faults.hidOpenError;
    if (error == 0 && (flags & FILE_FLAG_OVERLAPPED) != 0) error = faults.hidOverlappedOpenError;
    if (error != 0) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    for (const Object& open : state.objects) {
        if (open.kind == Kind::Hid && open.device == device &&
            !SharingAllows(open, access, share)) {
            SetLastError(ERROR_SHARING_VIOLATION);
            return INVALID_HANDLE_VALUE;
        }
    }
    Object object;
    object.kind = Kind::Hid;
    object.device = device;
    object.access = access;
    object.share = share;
    object.flags = flags;
    HANDLE h = NewHandle(object);
    if (h == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_TOO_MANY_OPEN_FILES);
        return h;
    }
    RecordOf(device).openFlags.push_back(flags);
    return h;
}

}  // namespace sim::detail

namespace sim {

using namespace detail;

namespace {

// A live HID handle, or null with the platform's error set: a value that is
// no handle at all, or a handle of something that is no HID collection.
Object* HidObject(HANDLE h) {
    Object* object = Find(h);
    if (object == nullptr || object->kind == Kind::DevInfo || object->kind == Kind::HidPreparsed) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (object->kind != Kind::Hid) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return nullptr;
    }
    return object;
}

Object* PreparsedObject(PHIDP_PREPARSED_DATA data) {
    Object* object = Find(reinterpret_cast<HANDLE>(data));
    return object != nullptr && object->kind == Kind::HidPreparsed ? object : nullptr;
}

}  // namespace

void HidD_GetHidGuid(LPGUID HidGuid) {
    if (HidGuid != nullptr) *HidGuid = kHidInterfaceClass;
}

BOOLEAN HidD_GetAttributes(HANDLE HidDeviceObject, PHIDD_ATTRIBUTES Attributes) {
    auto lock = Lock();
    const Object* object = HidObject(HidDeviceObject);
    if (object == nullptr) return FALSE;
    if (Attributes == nullptr) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    const HidConfig& hid = Get().config.devices[object->device].hid;
    Attributes->Size = sizeof(HIDD_ATTRIBUTES);
    Attributes->VendorID = hid.vendorId;
    Attributes->ProductID = hid.productId;
    Attributes->VersionNumber = 0x0100;
    return TRUE;
}

BOOLEAN HidD_GetPreparsedData(HANDLE HidDeviceObject, PHIDP_PREPARSED_DATA* PreparsedData) {
    auto lock = Lock();
    const Object* object = HidObject(HidDeviceObject);
    if (object == nullptr) return FALSE;
    if (PreparsedData == nullptr) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    // Tracked like a handle, so a block that is never freed shows up in
    // OpenHandleCount and a freed one is refused.
    Object preparsed;
    preparsed.kind = Kind::HidPreparsed;
    preparsed.device = object->device;
    HANDLE h = NewHandle(preparsed);
    if (h == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    *PreparsedData = reinterpret_cast<PHIDP_PREPARSED_DATA>(h);
    return TRUE;
}

BOOLEAN HidD_FreePreparsedData(PHIDP_PREPARSED_DATA PreparsedData) {
    auto lock = Lock();
    if (PreparsedObject(PreparsedData) == nullptr) return FALSE;
    FreeHandle(reinterpret_cast<HANDLE>(PreparsedData));
    return TRUE;
}

NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA PreparsedData, PHIDP_CAPS Capabilities) {
    auto lock = Lock();
    const Object* object = PreparsedObject(PreparsedData);
    if (object == nullptr || Capabilities == nullptr) return HIDP_STATUS_INVALID_PREPARSED_DATA;
    const HidConfig& hid = Get().config.devices[object->device].hid;
    *Capabilities = HIDP_CAPS{};
    Capabilities->UsagePage = kVendorUsagePage;
    Capabilities->Usage = 1;
    Capabilities->InputReportByteLength = hid.inputReportLength;
    Capabilities->OutputReportByteLength = hid.outputReportLength;
    Capabilities->NumberLinkCollectionNodes = 1;
    Capabilities->NumberInputValueCaps = hid.inputReportLength != 0 ? 1 : 0;
    Capabilities->NumberOutputValueCaps = hid.outputReportLength != 0 ? 1 : 0;
    return HIDP_STATUS_SUCCESS;
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    auto lock = Lock();
    if (Find(hFile) == nullptr) {
        lock.unlock();
        return ::WriteFile(hFile, lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten,
                           lpOverlapped);
    }
    const Object* object = HidObject(hFile);
    if (object == nullptr) return FALSE;
    if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = 0;
    const bool overlappedHandle = (object->flags & FILE_FLAG_OVERLAPPED) != 0;
    auto fail = [](DWORD error) {
        SetLastError(error);
        return FALSE;
    };
    // A synchronous write needs somewhere to put its count; an overlapped
    // handle needs its OVERLAPPED.
    if (lpOverlapped == nullptr && (lpNumberOfBytesWritten == nullptr || overlappedHandle)) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (!Writes(object->access)) return fail(ERROR_ACCESS_DENIED);
    if (lpBuffer == nullptr) return fail(ERROR_NOACCESS);
    const HidConfig& hid = Get().config.devices[object->device].hid;
    // The class driver takes whole output reports of the declared length only.
    if (nNumberOfBytesToWrite == 0 || nNumberOfBytesToWrite != hid.outputReportLength) {
        return fail(ERROR_INVALID_USER_BUFFER);
    }
    const DWORD fault = Get().config.faults.hidWriteError;
    if (fault != 0) return fail(fault);
    const uint32_t stallMs = Get().config.faults.hidWriteStallMs;
    if (stallMs != 0) {
        // The device does not take the report. An overlapped write stays
        // pending until it is cancelled or its handle closed; a synchronous
        // one holds its caller, as the real call would, and then times out.
        if (lpOverlapped != nullptr) {
            lpOverlapped->Internal = kNtPending;
            lpOverlapped->InternalHigh = 0;
            Get().hidPending.push_back({hFile, lpOverlapped});
            return fail(ERROR_IO_PENDING);
        }
        lock.unlock();
        Sleep(stallMs);
        return fail(ERROR_SEM_TIMEOUT);
    }

    auto& reports = RecordOf(object->device).reports;
    if (reports.size() < kMaxRecordedReports) {
        const auto* bytes = static_cast<const uint8_t*>(lpBuffer);
        reports.emplace_back(bytes, bytes + nNumberOfBytesToWrite);
    }
    if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = nNumberOfBytesToWrite;
    if (lpOverlapped != nullptr) CompleteOverlapped(lpOverlapped, 0, nNumberOfBytesToWrite);
    return TRUE;
}

std::vector<std::vector<uint8_t>> HidReports(size_t device) {
    auto lock = Lock();
    if (device >= Get().config.devices.size()) return {};
    return RecordOf(device).reports;
}

std::vector<DWORD> HidOpenFlags(size_t device) {
    auto lock = Lock();
    if (device >= Get().config.devices.size()) return {};
    return RecordOf(device).openFlags;
}

}  // namespace sim
