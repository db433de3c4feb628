#pragma once
// One exclusive-mode stream on an endpoint: the WASAPI back end's record
// behind the capability table's DeviceStream.

#include <audioclient.h>
#include <mmdeviceapi.h>
#include <wrl/client.h>

#include "asio/core/capability_table.h"
#include "common/win_owners.h"

namespace veltrano::asio {

using Microsoft::WRL::ComPtr;

struct EndpointStream : DeviceStream {
    ComPtr<IMMDevice> endpoint;
    ComPtr<IAudioClient> audioClient;
    ComPtr<IAudioRenderClient> renderClient;
    ComPtr<IAudioCaptureClient> captureClient;
    // The device position of an output stream, to tell when the device has
    // played past what was written (absent when the system offers none).
    ComPtr<IAudioClock> clock;
    uint32_t framesPerPeriod = 0;
    // Signalled by the audio engine once per period; lives as long as the
    // back end, so the streaming thread's wait array never holds a dead
    // handle.
    UniqueHandle event;

    void ReleaseClients() {
        clock.Reset();
        renderClient.Reset();
        captureClient.Reset();
        audioClient.Reset();
    }

    // Back to a fresh table entry, keeping the event.
    void Clear() {
        ReleaseClients();
        endpoint.Reset();
        static_cast<DeviceStream&>(*this) = DeviceStream{};
        framesPerPeriod = 0;
    }
};

}  // namespace veltrano::asio
