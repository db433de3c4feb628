#include "asio/wasapi/wasapi_backend.h"

namespace veltrano::asio {
namespace {

// The mix format comes from CoTaskMemAlloc and must go back there.
struct TaskMemFormat {
    WAVEFORMATEX* format = nullptr;
    ~TaskMemFormat() { CoTaskMemFree(format); }
};

}  // namespace

HRESULT WasapiBackend::OpenStream(EndpointStream& stream, Direction direction, uint32_t rate,
                                  int container, int valid, uint32_t channels) {
    if (!stream.endpoint) return E_FAIL;
    ComPtr<IAudioClient> client;
    HRESULT hr = stream.endpoint->Activate(__uuidof(IAudioClient), CLSCTX_INPROC_SERVER, nullptr,
                                           reinterpret_cast<void**>(client.GetAddressOf()));
    if (FAILED(hr)) return hr;
    if (!client) return E_FAIL;

    TaskMemFormat mix;
    hr = client->GetMixFormat(&mix.format);
    if (FAILED(hr)) return hr;
    if (mix.format == nullptr || mix.format->wFormatTag != WAVE_FORMAT_EXTENSIBLE) return E_FAIL;
    // Rewritten in place: the mix format's allocation is a full
    // WAVEFORMATEXTENSIBLE whenever its tag says so.
    auto* format = reinterpret_cast<WAVEFORMATEXTENSIBLE*>(mix.format);
    *format = PcmFormat(rate, static_cast<int>(channels), container, valid);

    hr = client->IsFormatSupported(AUDCLNT_SHAREMODE_EXCLUSIVE, &format->Format, nullptr);
    if (FAILED(hr)) return hr;
    REFERENCE_TIME defaultPeriod = 0;
    REFERENCE_TIME minimumPeriod = 0;
    hr = client->GetDevicePeriod(&defaultPeriod, &minimumPeriod);
    if (FAILED(hr)) return hr;
    // The host's buffer is the period exactly; a device that cannot run it
    // is refused rather than buffered around.
    const REFERENCE_TIME period =
        static_cast<REFERENCE_TIME>(stream.framesPerPeriod) * 10000000 / rate;
    hr = client->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE, AUDCLNT_STREAMFLAGS_EVENTCALLBACK, period,
                            period, &format->Format, nullptr);
    if (FAILED(hr)) return hr;
    UINT32 frames = 0;
    hr = client->GetBufferSize(&frames);
    if (FAILED(hr)) return hr;
    if (frames != stream.framesPerPeriod) return E_FAIL;
    hr = client->SetEventHandle(stream.event.get());
    if (FAILED(hr)) return hr;
    hr = client->Reset();
    if (FAILED(hr)) return hr;
    if (direction == Direction::kOutput) {
        ComPtr<IAudioRenderClient> render;
        hr = client->GetService(__uuidof(IAudioRenderClient),
                                reinterpret_cast<void**>(render.GetAddressOf()));
        if (FAILED(hr)) return hr;
        if (!render) return E_FAIL;
        stream.renderClient = render;
        // Optional: without it lost output time goes unnoticed, not wrong.
        ComPtr<IAudioClock> clock;
        if (SUCCEEDED(client->GetService(__uuidof(IAudioClock),
                                         reinterpret_cast<void**>(clock.GetAddressOf())))) {
            stream.clock = clock;
        }
    } else {
        ComPtr<IAudioCaptureClient> capture;
        hr = client->GetService(__uuidof(IAudioCaptureClient),
                                reinterpret_cast<void**>(capture.GetAddressOf()));
        if (FAILED(hr)) return hr;
        if (!capture) return E_FAIL;
        stream.captureClient = capture;
    }
    stream.audioClient = client;
    return S_OK;
}

}  // namespace veltrano::asio
