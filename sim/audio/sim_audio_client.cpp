#include "sim/audio/sim_audio_client.h"

#include <cstring>
#include <new>
#include <vector>

#include "sim/audio/sim_controls.h"
#include "sim/audio/sim_format.h"
#include "sim/audio/sim_wav.h"

namespace veltrano::sim {
namespace {

constexpr int64_t kMaxEventBuffer = 5000000;  // 500 ms in 100-ns units
constexpr GUID kSubtypeFloat = {
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

class VirtualAudioClient final : public ComObject<IAudioClient> {
public:
    explicit VirtualAudioClient(std::shared_ptr<EndpointState> state) : m_state(std::move(state)) {}
    ~VirtualAudioClient();

    HRESULT STDMETHODCALLTYPE Initialize(AUDCLNT_SHAREMODE mode, DWORD flags,
                                         REFERENCE_TIME duration, REFERENCE_TIME periodicity,
                                         const WAVEFORMATEX* format, LPCGUID session) override;
    HRESULT STDMETHODCALLTYPE GetBufferSize(UINT32* frames) override {
        if (frames == nullptr) return E_POINTER;
        if (!m_initialized) return AUDCLNT_E_NOT_INITIALIZED;
        *frames = m_bufferFrames;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStreamLatency(REFERENCE_TIME* latency) override {
        if (latency == nullptr) return E_POINTER;
        if (!m_initialized) return AUDCLNT_E_NOT_INITIALIZED;
        *latency = m_period;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCurrentPadding(UINT32* frames) override {
        if (frames == nullptr) return E_POINTER;
        if (!m_initialized) return AUDCLNT_E_NOT_INITIALIZED;
        std::lock_guard<std::mutex> guard(m_lock);
        const bool queued = m_state->render ? m_renderFull : m_packetReady;
        *frames = queued ? m_bufferFrames : 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsFormatSupported(AUDCLNT_SHAREMODE mode, const WAVEFORMATEX* format,
                                                WAVEFORMATEX** closest) override;
    HRESULT STDMETHODCALLTYPE GetMixFormat(WAVEFORMATEX** format) override;
    HRESULT STDMETHODCALLTYPE GetDevicePeriod(REFERENCE_TIME* defaultPeriod,
                                              REFERENCE_TIME* minimumPeriod) override {
        if (defaultPeriod == nullptr && minimumPeriod == nullptr) return E_POINTER;
        if (defaultPeriod != nullptr) *defaultPeriod = m_state->config.defaultPeriod;
        if (minimumPeriod != nullptr) *minimumPeriod = m_state->config.minimumPeriod;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Start() override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE SetEventHandle(HANDLE event) override {
        if (!m_initialized) return AUDCLNT_E_NOT_INITIALIZED;
        if (!m_eventDriven) return AUDCLNT_E_EVENTHANDLE_NOT_EXPECTED;
        if (event == nullptr || event == INVALID_HANDLE_VALUE) return E_INVALIDARG;
        m_event = event;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetService(REFIID riid, void** ppv) override;

    // Render service.
    HRESULT RenderGet(UINT32 frames, BYTE** data);
    HRESULT RenderRelease(UINT32 frames, DWORD flags);
    // Capture service.
    HRESULT CaptureGet(BYTE** data, UINT32* frames, DWORD* flags, UINT64* position,
                       UINT64* counter);
    HRESULT CaptureRelease(UINT32 frames);
    HRESULT CaptureNextPacket(UINT32* frames);

private:
    static DWORD WINAPI ClockThread(void* self);
    void Tick();
    void StopClock();
    size_t BufferBytes() const { return static_cast<size_t>(m_bufferFrames) * m_format.blockAlign; }

    std::shared_ptr<EndpointState> m_state;
    std::mutex m_lock;
    bool m_initialized = false;
    bool m_eventDriven = false;
    bool m_ownsDevice = false;
    StreamFormat m_format;
    REFERENCE_TIME m_period = 0;
    UINT32 m_bufferFrames = 0;
    std::vector<uint8_t> m_buffer;
    HANDLE m_event = nullptr;
    bool m_started = false;
    HANDLE m_clock = nullptr;
    HANDLE m_clockStop = nullptr;
    uint64_t m_ticks = 0;
    DWORD m_startTick = 0;
    bool m_renderFull = false;
    bool m_pending = false;  // a GetBuffer awaits its ReleaseBuffer
    UINT32 m_pendingFrames = 0;
    bool m_packetReady = false;
    DWORD m_packetFlags = 0;
    uint64_t m_captureFrame = 0;
    std::shared_ptr<RenderRecording> m_recording;
};

template <typename Interface>
class ServiceBase : public ComObject<Interface> {
public:
    explicit ServiceBase(VirtualAudioClient* client) : m_client(client) { m_client->AddRef(); }
    virtual ~ServiceBase() { m_client->Release(); }

protected:
    VirtualAudioClient* m_client;

private:
};

class VirtualRenderClient final : public ServiceBase<IAudioRenderClient> {
public:
    using ServiceBase::ServiceBase;
    HRESULT STDMETHODCALLTYPE GetBuffer(UINT32 frames, BYTE** data) override {
        return m_client->RenderGet(frames, data);
    }
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32 frames, DWORD flags) override {
        return m_client->RenderRelease(frames, flags);
    }
};

class VirtualCaptureClient final : public ServiceBase<IAudioCaptureClient> {
public:
    using ServiceBase::ServiceBase;
    HRESULT STDMETHODCALLTYPE GetBuffer(BYTE** data, UINT32* frames, DWORD* flags, UINT64* position,
                                        UINT64* counter) override {
        return m_client->CaptureGet(data, frames, flags, position, counter);
    }
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32 frames) override {
        return m_client->CaptureRelease(frames);
    }
    HRESULT STDMETHODCALLTYPE GetNextPacketSize(UINT32* frames) override {
        return m_client->CaptureNextPacket(frames);
    }
};

VirtualAudioClient::~VirtualAudioClient() {
    StopClock();
    if (m_ownsDevice) {
        std::lock_guard<std::mutex> guard(m_state->lock);
        m_state->exclusiveOwned = false;
    }
    if (m_recording && !m_state->recordFolder.empty()) {
        RenderRecording copy;
        {
            std::lock_guard<std::mutex> guard(m_state->lock);
            copy = *m_recording;
        }
        const std::string path =
            m_state->recordFolder + "\\render-" + std::to_string(NextRecordingNumber()) + ".wav";
        WriteRecordingWav(path, copy);
    }
}

HRESULT VirtualAudioClient::IsFormatSupported(AUDCLNT_SHAREMODE mode, const WAVEFORMATEX* format,
                                              WAVEFORMATEX** closest) {
    if (format == nullptr) return E_POINTER;
    if (closest != nullptr) *closest = nullptr;
    // Only the exclusive path is modelled; the drivers never share.
    if (mode != AUDCLNT_SHAREMODE_EXCLUSIVE) return E_NOTIMPL;
    {
        std::lock_guard<std::mutex> guard(m_state->lock);
        if (m_state->config.heldByOtherApplication || (m_state->exclusiveOwned && !m_ownsDevice)) {
            return AUDCLNT_E_DEVICE_IN_USE;
        }
    }
    return AcceptsFormat(m_state->config, format, nullptr) ? S_OK : AUDCLNT_E_UNSUPPORTED_FORMAT;
}

HRESULT VirtualAudioClient::GetMixFormat(WAVEFORMATEX** format) {
    if (format == nullptr) return E_POINTER;
    auto* mix = static_cast<WAVEFORMATEXTENSIBLE*>(CoTaskMemAlloc(sizeof(WAVEFORMATEXTENSIBLE)));
    if (mix == nullptr) return E_OUTOFMEMORY;
    // The shared engine mixes in float at the rate and channels of the
    // device format stored in the endpoint's property store.
    const WAVEFORMATEXTENSIBLE device = CurrentDeviceFormat(*m_state);
    const WORD channels = device.Format.nChannels != 0 ? device.Format.nChannels : 2;
    const DWORD rate = device.Format.nSamplesPerSec != 0 ? device.Format.nSamplesPerSec : 48000;
    *mix = WAVEFORMATEXTENSIBLE{};
    mix->Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    mix->Format.nChannels = channels;
    mix->Format.nSamplesPerSec = rate;
    mix->Format.wBitsPerSample = 32;
    mix->Format.nBlockAlign = static_cast<WORD>(channels * 4);
    mix->Format.nAvgBytesPerSec = mix->Format.nBlockAlign * rate;
    mix->Format.cbSize = 22;
    mix->Samples.wValidBitsPerSample = 32;
    mix->dwChannelMask = device.dwChannelMask != 0 ? device.dwChannelMask : 3;
    mix->SubFormat = kSubtypeFloat;
    *format = &mix->Format;
    return S_OK;
}

HRESULT VirtualAudioClient::Initialize(AUDCLNT_SHAREMODE mode, DWORD flags, REFERENCE_TIME duration,
                                       REFERENCE_TIME periodicity, const WAVEFORMATEX* format,
                                       LPCGUID) {
    if (format == nullptr) return E_POINTER;
    if (m_initialized) return AUDCLNT_E_ALREADY_INITIALIZED;
    if (mode != AUDCLNT_SHAREMODE_EXCLUSIVE) return E_NOTIMPL;
    // Timer-driven exclusive streams are not modelled.
    if ((flags & AUDCLNT_STREAMFLAGS_EVENTCALLBACK) == 0) return E_NOTIMPL;
    StreamFormat f;
    if (!AcceptsFormat(m_state->config, format, &f)) return AUDCLNT_E_UNSUPPORTED_FORMAT;
    if (periodicity != duration) return E_INVALIDARG;
    if (duration < m_state->config.minimumPeriod) return AUDCLNT_E_INVALID_DEVICE_PERIOD;
    if (duration > kMaxEventBuffer) return AUDCLNT_E_BUFFER_SIZE_ERROR;
    auto frames = static_cast<UINT32>((duration * f.sampleRate + 5000000) / 10000000);
    const uint32_t granularity = m_state->config.granularityFrames;
    if (granularity > 0) frames = (frames + granularity - 1) / granularity * granularity;
    const uint32_t alignment = m_state->config.alignmentBytes;
    if (alignment > 0 && (static_cast<uint64_t>(frames) * f.blockAlign) % alignment != 0) {
        return AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED;
    }
    std::lock_guard<std::mutex> guard(m_state->lock);
    if (m_state->config.heldByOtherApplication || m_state->exclusiveOwned) {
        return AUDCLNT_E_DEVICE_IN_USE;
    }
    m_buffer.assign(static_cast<size_t>(frames) * f.blockAlign, 0);
    m_state->exclusiveOwned = true;
    m_ownsDevice = true;
    m_format = f;
    m_period = duration;
    m_bufferFrames = frames;
    m_eventDriven = true;
    m_initialized = true;
    if (m_state->render) {
        m_recording = std::make_shared<RenderRecording>();
        m_recording->sampleRate = f.sampleRate;
        m_recording->channels = f.channels;
        m_recording->containerBits = f.containerBits;
        m_recording->validBits = f.validBits;
        m_recording->period = duration;
        m_state->recordings.push_back(m_recording);
    }
    return S_OK;
}

HRESULT VirtualAudioClient::Start() {
    if (!m_initialized) return AUDCLNT_E_NOT_INITIALIZED;
    if (m_started) return AUDCLNT_E_NOT_STOPPED;
    if (m_eventDriven && m_event == nullptr) return AUDCLNT_E_EVENTHANDLE_NOT_SET;
    m_startTick = GetTickCount();
    m_clockStop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (m_clockStop == nullptr) return E_OUTOFMEMORY;
    m_clock = CreateThread(nullptr, 0, ClockThread, this, 0, nullptr);
    if (m_clock == nullptr) {
        CloseHandle(m_clockStop);
        m_clockStop = nullptr;
        return E_OUTOFMEMORY;
    }
    m_started = true;
    CountStreamStart();
    return S_OK;
}

HRESULT VirtualAudioClient::Stop() {
    if (!m_initialized) return AUDCLNT_E_NOT_INITIALIZED;
    if (!m_started) return S_FALSE;
    StopClock();
    return S_OK;
}

HRESULT VirtualAudioClient::Reset() {
    if (!m_initialized) return AUDCLNT_E_NOT_INITIALIZED;
    if (m_started) return AUDCLNT_E_NOT_STOPPED;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_pending) return AUDCLNT_E_BUFFER_OPERATION_PENDING;
    m_renderFull = false;
    m_packetReady = false;
    return S_OK;
}

void VirtualAudioClient::StopClock() {
    if (m_clock == nullptr) return;
    SetEvent(m_clockStop);
    WaitForSingleObject(m_clock, INFINITE);
    CloseHandle(m_clock);
    CloseHandle(m_clockStop);
    m_clock = m_clockStop = nullptr;
    m_started = false;
}

DWORD WINAPI VirtualAudioClient::ClockThread(void* self) {
    auto* client = static_cast<VirtualAudioClient*>(self);
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    const int64_t periodTicks = client->m_period * frequency.QuadPart / 10000000;
    int64_t next = now.QuadPart + periodTicks;
    for (;;) {
        QueryPerformanceCounter(&now);
        const int64_t ahead = next - now.QuadPart;
        const DWORD wait = ahead > 0 ? static_cast<DWORD>(ahead * 1000 / frequency.QuadPart) : 0;
        if (WaitForSingleObject(client->m_clockStop, wait) != WAIT_TIMEOUT) return 0;
        QueryPerformanceCounter(&now);
        if (now.QuadPart < next) continue;
        client->Tick();
        next += periodTicks;
        // A starved process catches up by skipping periods, not by a burst.
        if (now.QuadPart - next > 4 * periodTicks) next = now.QuadPart + periodTicks;
    }
}

void VirtualAudioClient::Tick() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_ticks;
        const uint32_t silentAfter = m_state->config.eventsStopAfterPeriods;
        if (silentAfter != 0 && m_ticks > silentAfter) return;
        const uint32_t silentAfterMs = m_state->config.eventsStopAfterMs;
        if (silentAfterMs != 0 && GetTickCount() - m_startTick >= silentAfterMs) return;
        if (m_state->render) {
            m_renderFull = false;  // the engine took the period
        } else if (!m_pending) {
            const uint32_t sampleBytes = m_format.containerBits / 8u;
            uint8_t* p = m_buffer.data();
            for (UINT32 f = 0; f < m_bufferFrames; ++f) {
                for (uint32_t c = 0; c < m_format.channels; ++c) {
                    for (uint32_t b = 0; b < sampleBytes; ++b) {
                        *p++ = CaptureByte(m_captureFrame + f, c, b);
                    }
                }
            }
            m_packetFlags = m_packetReady ? AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY : 0;
            m_packetReady = true;
            m_captureFrame += m_bufferFrames;
        }
    }
    SetEvent(m_event);
}

HRESULT VirtualAudioClient::GetService(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!m_initialized) return AUDCLNT_E_NOT_INITIALIZED;
    const bool wantRender = IsEqualIID(riid, __uuidof(IAudioRenderClient));
    const bool wantCapture = IsEqualIID(riid, __uuidof(IAudioCaptureClient));
    if (!wantRender && !wantCapture) return E_NOINTERFACE;
    if (wantRender != m_state->render) return AUDCLNT_E_WRONG_ENDPOINT_TYPE;
    if (wantRender) {
        auto* service = new (std::nothrow) VirtualRenderClient(this);
        if (service == nullptr) return E_OUTOFMEMORY;
        *ppv = static_cast<IAudioRenderClient*>(service);
    } else {
        auto* service = new (std::nothrow) VirtualCaptureClient(this);
        if (service == nullptr) return E_OUTOFMEMORY;
        *ppv = static_cast<IAudioCaptureClient*>(service);
    }
    return S_OK;
}

HRESULT VirtualAudioClient::RenderGet(UINT32 frames, BYTE** data) {
    if (data == nullptr) return E_POINTER;
    *data = nullptr;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_pending) return AUDCLNT_E_OUT_OF_ORDER;
    if (frames == 0) return S_OK;
    // Event-driven exclusive streams hand over whole buffers only.
    if (frames != m_bufferFrames) return AUDCLNT_E_BUFFER_SIZE_ERROR;
    if (m_renderFull) return AUDCLNT_E_BUFFER_TOO_LARGE;
    m_pending = true;
    m_pendingFrames = frames;
    *data = m_buffer.data();
    return S_OK;
}

HRESULT VirtualAudioClient::RenderRelease(UINT32 frames, DWORD flags) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_pending) return frames == 0 ? S_OK : AUDCLNT_E_OUT_OF_ORDER;
    if (frames > m_pendingFrames) return AUDCLNT_E_INVALID_SIZE;
    m_pending = false;
    if (frames == 0) return S_OK;
    const size_t bytes = static_cast<size_t>(frames) * m_format.blockAlign;
    if ((flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0) std::memset(m_buffer.data(), 0, bytes);
    {
        std::lock_guard<std::mutex> record(m_state->lock);
        m_recording->data.insert(m_recording->data.end(), m_buffer.begin(),
                                 m_buffer.begin() + static_cast<ptrdiff_t>(bytes));
    }
    m_renderFull = true;
    return S_OK;
}

HRESULT VirtualAudioClient::CaptureGet(BYTE** data, UINT32* frames, DWORD* flags, UINT64* position,
                                       UINT64* counter) {
    if (data == nullptr || frames == nullptr || flags == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_pending) return AUDCLNT_E_OUT_OF_ORDER;
    *data = nullptr;
    *frames = 0;
    *flags = 0;
    if (!m_packetReady) return AUDCLNT_S_BUFFER_EMPTY;
    m_pending = true;
    m_pendingFrames = m_bufferFrames;
    *data = m_buffer.data();
    *frames = m_bufferFrames;
    *flags = m_packetFlags;
    if (position != nullptr) *position = m_captureFrame - m_bufferFrames;
    if (counter != nullptr) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        *counter = static_cast<UINT64>(now.QuadPart);
    }
    return S_OK;
}

HRESULT VirtualAudioClient::CaptureRelease(UINT32 frames) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_pending) return AUDCLNT_E_OUT_OF_ORDER;
    // A packet is released whole or not at all.
    if (frames != 0 && frames != m_pendingFrames) return AUDCLNT_E_INVALID_SIZE;
    m_pending = false;
    if (frames != 0) m_packetReady = false;
    return S_OK;
}

HRESULT VirtualAudioClient::CaptureNextPacket(UINT32* frames) {
    if (frames == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> guard(m_lock);
    *frames = m_packetReady ? m_bufferFrames : 0;
    return S_OK;
}

}  // namespace

HRESULT NewVirtualAudioClient(std::shared_ptr<EndpointState> state, IAudioClient** client) {
    auto* object = new (std::nothrow) VirtualAudioClient(std::move(state));
    if (object == nullptr) return E_OUTOFMEMORY;
    *client = object;
    return S_OK;
}

}  // namespace veltrano::sim
