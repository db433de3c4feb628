#pragma once
// The virtual device as a `_sim` driver meets it: profile files, the device
// path found through the seam, and render pins driven through kslib.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "kslib/ks_aud_filter.h"
#include "kslib/ks_aud_pin.h"
#include "platform/ks_setupdi.h"
#include "platform/win32_headers.h"

namespace simdll {

// A file or folder under the temporary folder, unique to this process.
inline std::string TempPath(const std::string& name) {
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    return std::string(folder) + "veltrano-simdll-" + std::to_string(GetCurrentProcessId()) + "-" +
           name;
}

inline std::string WriteProfile(const std::string& text) {
    const std::string path = TempPath("profile.ini");
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(h);
    EXPECT_EQ(written, text.size());
    return path;
}

// Every interface path in a category, as device discovery sees them.
inline std::vector<std::string> DiscoveredPaths(const GUID& category) {
    std::vector<std::string> paths;
    HDEVINFO set = platform::SetupDiGetClassDevsA(&category, nullptr, nullptr,
                                                  DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return paths;
    SP_DEVICE_INTERFACE_DATA item{};
    item.cbSize = sizeof item;
    for (DWORD i = 0; platform::SetupDiEnumDeviceInterfaces(set, nullptr, &category, i, &item);
         ++i) {
        std::vector<char> buffer(1024);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (platform::SetupDiGetDeviceInterfaceDetailA(
                set, &item, detail, static_cast<DWORD>(buffer.size()), nullptr, nullptr)) {
            paths.emplace_back(detail->DevicePath);
        }
    }
    platform::SetupDiDestroyDeviceInfoList(set);
    return paths;
}

inline std::unique_ptr<kslib::CKsAudRenFilter> OpenFilter(const std::string& path) {
    HRESULT hr = E_FAIL;
    auto filter = std::make_unique<kslib::CKsAudRenFilter>(path.c_str(), "", &hr);
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(filter->Instantiate(), S_OK);
    EXPECT_EQ(filter->EnumeratePins(), S_OK);
    return filter;
}

inline WAVEFORMATEXTENSIBLE Format(WORD channels, WORD bits, DWORD rate) {
    WAVEFORMATEXTENSIBLE ext{};
    ext.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    ext.Format.nChannels = channels;
    ext.Format.wBitsPerSample = bits;
    ext.Format.nSamplesPerSec = rate;
    ext.Format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    ext.Format.nAvgBytesPerSec = rate * ext.Format.nBlockAlign;
    ext.Format.cbSize = 22;
    ext.Samples.wValidBitsPerSample = bits;
    ext.dwChannelMask = 3;
    ext.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    return ext;
}

// One render packet with its own completion event.
struct Packet {
    KSSTREAM_HEADER header{};
    OVERLAPPED overlapped{};
    std::vector<BYTE> data;

    explicit Packet(std::vector<BYTE> bytes) : data(std::move(bytes)) {
        overlapped.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        header.Size = sizeof header;
        header.PresentationTime.Numerator = 1;
        header.PresentationTime.Denominator = 1;
        header.FrameExtent = static_cast<ULONG>(data.size());
        header.DataUsed = header.FrameExtent;
        header.Data = data.data();
    }
    ~Packet() { CloseHandle(overlapped.hEvent); }
    Packet(const Packet&) = delete;
    Packet& operator=(const Packet&) = delete;
    bool Wait(DWORD ms) { return WaitForSingleObject(overlapped.hEvent, ms) == WAIT_OBJECT_0; }
};

// Instantiates the filter's first render pin in a format and pauses it.
inline kslib::CKsAudPin* OpenRenderPin(kslib::CKsAudRenFilter& filter,
                                       const WAVEFORMATEXTENSIBLE& format) {
    auto* pin = static_cast<kslib::CKsAudPin*>(filter.RenderSinkPins().Head());
    if (pin == nullptr) return nullptr;
    if (pin->SetFormat(&format.Format) != S_OK || pin->Instantiate() != S_OK) return nullptr;
    EXPECT_EQ(pin->SetState(KSSTATE_ACQUIRE), S_OK);
    EXPECT_EQ(pin->SetState(KSSTATE_PAUSE), S_OK);
    return pin;
}

// The class driver walks the states one step at a time.
inline void StopAndClose(kslib::CKsAudPin* pin) {
    if (pin->GetState() == KSSTATE_RUN) {
        EXPECT_EQ(pin->SetState(KSSTATE_PAUSE), S_OK);
    }
    EXPECT_EQ(pin->SetState(KSSTATE_ACQUIRE), S_OK);
    EXPECT_EQ(pin->SetState(KSSTATE_STOP), S_OK);
    pin->ClosePin();
}

}  // namespace simdll
