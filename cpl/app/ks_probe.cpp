#include "cpl/app/ks_probe.h"

#include <cstring>
#include <memory>
#include <new>

#include "common/device_path.h"
#include "common/device_table.h"
#include "cpl/app/panel_tables.h"
#include "kslib/ks_aud_filter.h"
#include "kslib/ks_enum_filters.h"

namespace veltrano::cpl {
namespace {

std::unique_ptr<kslib::CKsEnumFilters> EnumerateAudioRenderFilters() {
    std::unique_ptr<kslib::CKsEnumFilters> filters(new (std::nothrow) kslib::CKsEnumFilters);
    if (!filters || FAILED(filters->EnumFilters(&KSCATEGORY_AUDIO, &KSCATEGORY_RENDER))) {
        return nullptr;
    }
    return filters;
}

const kslib::CKsFilter* FindFilter(const kslib::CKsEnumFilters& filters, uint16_t vendorId,
                                   uint16_t productId) {
    for (const kslib::CKsFilter* filter : filters.Filters()) {
        if (filter != nullptr &&
            MatchDevicePathPair(filter->GetSymbolicLink(), vendorId, productId)) {
            return filter;
        }
    }
    return nullptr;
}

WAVEFORMATEX PcmFormat(uint16_t bits, uint32_t rate) {
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = 2;
    wfx.wBitsPerSample = bits;
    wfx.nSamplesPerSec = rate;
    wfx.nBlockAlign = static_cast<WORD>(bits / 8 * 2);
    wfx.nAvgBytesPerSec = wfx.nBlockAlign * rate;
    return wfx;
}

// Bit depths with flag 4 (bit-depth range only), then rates with flag 8
// (rate range only), each as PCM so that only PCM or wildcard ranges count.
template <typename Filter>
void ProbeMasks(Filter& filter, uint32_t* rateMask, uint32_t* bitsMask) {
    for (int j = 0; j < kPanelBitsCount; ++j) {
        WAVEFORMATEX wfx = PcmFormat(kPanelBits[j], 44100);
        if (filter.FindViablePin(&wfx, kslib::KS_FORMAT_MATCH_BITS) != nullptr) {
            *bitsMask |= 1u << j;
        }
    }
    for (int i = 0; i < kPanelRateCount; ++i) {
        WAVEFORMATEX wfx = PcmFormat(16, kPanelRates[i]);
        if (filter.FindViablePin(&wfx, kslib::KS_FORMAT_MATCH_RATE) != nullptr) {
            *rateMask |= 1u << i;
        }
    }
}

}  // namespace

KsCapabilities ProbeKsCapabilities(uint16_t vendorId, uint16_t productId) {
    KsCapabilities caps;
    auto filters = EnumerateAudioRenderFilters();
    if (!filters) return caps;
    const kslib::CKsFilter* listed = FindFilter(*filters, vendorId, productId);
    if (listed == nullptr) return caps;
    char path[MAX_PATH];
    char name[MAX_PATH];
    lstrcpynA(path, listed->GetSymbolicLink(), sizeof path);
    lstrcpynA(name, listed->GetFriendlyName(), sizeof name);

    HRESULT hr = E_FAIL;
    {
        std::unique_ptr<kslib::CKsAudRenFilter> render(new (std::nothrow)
                                                           kslib::CKsAudRenFilter(path, name, &hr));
        if (render && SUCCEEDED(hr) && SUCCEEDED(render->Instantiate()) &&
            SUCCEEDED(render->EnumeratePins())) {
            ProbeMasks(*render, &caps.playRateMask, &caps.playBitsMask);
        }
    }
    hr = E_FAIL;
    std::unique_ptr<kslib::CKsAudCapFilter> capture(new (std::nothrow)
                                                        kslib::CKsAudCapFilter(path, name, &hr));
    if (!capture || FAILED(hr)) return caps;
    if (SUCCEEDED(capture->Instantiate()) && SUCCEEDED(capture->EnumeratePins()) &&
        !capture->CaptureSinkPins().IsEmpty()) {
        ProbeMasks(*capture, &caps.recRateMask, &caps.recBitsMask);
    }
    return caps;
}

bool ProbeKsPresence(uint16_t* vendorId, uint16_t* productId) {
    const int count = SupportedDeviceCount(SupportedDeviceTable);
    for (int e = 0; e < count; ++e) {
        const SupportedDevice& entry = SupportedDeviceTable[static_cast<size_t>(e)];
        auto filters = EnumerateAudioRenderFilters();
        if (!filters) continue;
        if (FindFilter(*filters, entry.vendorId, entry.productId) != nullptr) {
            *vendorId = entry.vendorId;
            *productId = entry.productId;
            return true;
        }
    }
    return false;
}

}  // namespace veltrano::cpl
