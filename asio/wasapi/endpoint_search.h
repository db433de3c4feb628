#pragma once
// Finding the device among the Windows audio endpoints and asking an
// endpoint which exclusive formats it takes.

// mmreg.h needs the Windows types first.
// clang-format off
#include <windows.h>
#include <mmreg.h>
// clang-format on
#include <mmdeviceapi.h>
#include <wrl/client.h>

#include <cstdint>

namespace veltrano::asio {

using Microsoft::WRL::ComPtr;

struct FoundEndpoints {
    ComPtr<IMMDevice> render;
    ComPtr<IMMDevice> capture;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
};

// The property holding an endpoint's underlying device path.
extern const PROPERTYKEY kEndpointDevicePathKey;

// Fills `text` (260 bytes) from a property of item `index`: a string
// converted to 8-bit text (at most 259 characters, terminated), a blob
// copied byte for byte (at most 260 bytes); any other type leaves it as it
// was.
void ReadEndpointString(IMMDeviceCollection* collection, UINT index, const PROPERTYKEY& key,
                        char* text);

// The first matching render endpoint and, when `wantCapture`, the first
// matching capture endpoint. E_FAIL without a render endpoint; platform
// results are passed on. `captureRequired` makes a missing capture endpoint
// a failure too.
HRESULT SearchEndpoints(bool wantCapture, bool captureRequired, FoundEndpoints& found);

// IsFormatSupported in exclusive mode for a stereo integer format.
HRESULT ProbeExclusiveFormat(IMMDevice* endpoint, uint32_t rate, int container, int valid);

// The extensible PCM format every stream of this driver uses.
WAVEFORMATEXTENSIBLE PcmFormat(uint32_t rate, int channels, int container, int valid);

}  // namespace veltrano::asio
