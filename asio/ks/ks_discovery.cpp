#include "asio/ks/ks_discovery.h"

#include <cstring>
#include <memory>
#include <new>

#include "common/device_path.h"
#include "common/width_mask.h"
#include "kslib/ks_aud_filter.h"
#include "kslib/ks_enum_filters.h"

namespace veltrano::asio::ks {
namespace {

constexpr char kDefaultDeviceName[] = "Veltrano-HD";

void CopyCut(char* dst, size_t size, const char* src) {
    size_t i = 0;
    for (; src != nullptr && src[i] != '\0' && i + 1 < size; ++i) dst[i] = src[i];
    dst[i] = '\0';
}

template <typename Filter>
std::unique_ptr<Filter> OpenFilter(const char* path, const char* name) {
    HRESULT hr = E_FAIL;
    std::unique_ptr<Filter> filter(new (std::nothrow) Filter(path, name, &hr));
    if (!filter || FAILED(hr) || FAILED(filter->Instantiate()) || FAILED(filter->EnumeratePins())) {
        return nullptr;
    }
    return filter;
}

// The widths both sides can carry (the capture side only when it exists).
uint8_t ProbeWidths(kslib::CKsAudRenFilter& render, kslib::CKsAudCapFilter* capture) {
    uint8_t mask = 0;
    for (int bits : {16, 24, 32}) {
        WAVEFORMATEX wfx{};
        wfx.wFormatTag = WAVE_FORMAT_PCM;
        wfx.wBitsPerSample = static_cast<WORD>(bits);
        if (render.FindViablePin(&wfx, kslib::KS_FORMAT_MATCH_BITS) == nullptr) continue;
        if (capture != nullptr &&
            capture->FindViablePin(&wfx, kslib::KS_FORMAT_MATCH_BITS) == nullptr) {
            continue;
        }
        mask |= static_cast<uint8_t>(WidthBit(bits));
    }
    return mask;
}

// One listed filter: true when it is the device and it was accepted.
bool TryFilter(const kslib::CKsFilter& listed, DeviceIdentity& identity,
               char (&symbolicLink)[MAX_PATH]) {
    char path[MAX_PATH];
    CopyCut(path, sizeof path, listed.GetSymbolicLink());
    DevicePathIds ids;
    if (!ParseDevicePath(path, &ids) ||
        FindSupportedDevice(ids.vendorId, ids.productId) == nullptr) {
        return false;
    }
    const char* friendly = listed.GetFriendlyName();
    const char* name = friendly != nullptr && friendly[0] != '\0' ? friendly : kDefaultDeviceName;

    auto render = OpenFilter<kslib::CKsAudRenFilter>(path, name);
    if (!render) return false;
    auto capture = OpenFilter<kslib::CKsAudCapFilter>(path, name);
    const bool hasInput = capture && !capture->CaptureSinkPins().IsEmpty();
    const uint8_t widths = ProbeWidths(*render, hasInput ? capture.get() : nullptr);
    if (widths == 0) return false;

    memcpy(symbolicLink, path, sizeof path);
    CopyCut(identity.deviceName, sizeof identity.deviceName, name);
    identity.usbVendorId = ids.vendorId;
    identity.usbProductId = ids.productId;
    identity.widthMask = widths;
    identity.hasInput = hasInput;
    return true;
}

}  // namespace

HRESULT DiscoverKsDevice(DeviceIdentity& identity, char (&symbolicLink)[MAX_PATH]) {
    identity = DeviceIdentity{};
    symbolicLink[0] = '\0';
    std::unique_ptr<kslib::CKsEnumFilters> enumerator(new (std::nothrow) kslib::CKsEnumFilters);
    if (!enumerator) return E_OUTOFMEMORY;
    // A failed enumeration leaves the list empty: no device.
    enumerator->EnumFilters(&KSCATEGORY_AUDIO, &KSCATEGORY_RENDER);
    for (const kslib::CKsFilter* listed : enumerator->Filters()) {
        if (listed != nullptr && TryFilter(*listed, identity, symbolicLink)) return S_OK;
    }
    identity = DeviceIdentity{};
    return E_FAIL;
}

}  // namespace veltrano::asio::ks
