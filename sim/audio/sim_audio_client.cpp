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
// What GetBuffer hands out before the client writes: never silence, so a
// sample the client leaves unwritten shows in the recording.
constexpr uint8_t kGarbage = 0xD5;
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
        if (Unplugged()) return AUDCLNT_E_DEVICE_INVALIDATED;
        // After AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED the client learns the
        // aligned size here, before it initialises a fresh client with it.
        if (!m_initialized && m_alignedFrames != 0) {
            *frames = m_alignedFrames;
            return S_OK;
        }
        if (!m_initialized) return AUDCLNT_E_NOT_INITIALIZED;
        *frames = m_bufferFrames;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStreamLatency(REFERENCE_TIME* latency) override {
        if (latency == nullptr) return E_POINTER;
        if (Unplugged()) return AUDCLNT_E_DEVICE_INVALIDATED;
        if (!m_initialized) return AUDCLNT_E_NOT_INITIALIZED;
        *latency = m_period;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCurrentPadding(UINT32* frames) override {
        if (frames == nullptr) return E_POINTER;
        if (Unplugged()) return AUDCLNT_E_DEVICE_INVALIDATED;
        if (!m_initialized) return AUDCLNT_E_NOT_INITIALIZED;
        std::lock_guard<std::mutex> guard(m_lock);
        const bool queued = m_state->render ? m_released : m_packetReady;
        *frames = queued ? m_bufferFrames : 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsFormatSupported(AUDCLNT_SHAREMODE mode, const WAVEFORMATEX* format,
                                                WAVEFORMATEX** closest) override;
    HRESULT STDMETHODCALLTYPE GetMixFormat(WAVEFORMATEX** format) override;
    HRESULT STDMETHODCALLTYPE GetDevicePeriod(REFERENCE_TIME* defaultPeriod,
                                              REFERENCE_TIME* minimumPeriod) override {
        if (defaultPeriod == nullptr && minimumPeriod == nullptr) return E_POINTER;
        if (Unplugged()) return AUDCLNT_E_DEVICE_INVALIDATED;
        if (defaultPeriod != nullptr) *defaultPeriod = m_state->config.defaultPeriod;
        if (minimumPeriod != nullptr) *minimumPeriod = m_state->config.minimumPeriod;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Start() override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE SetEventHandle(HANDLE event) override {
        if (Unplugged()) return AUDCLNT_E_DEVICE_INVALIDATED;
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
    void RunClock();
    void CloseClock();
    // One period boundary of the endpoint's clock; false once the engine
    // has gone silent for good.
    bool Tick(uint64_t n);
    bool LatePacket(uint64_t n) const;
    // The time of boundary n of this run plus `lag`, in 100-ns units of the
    // performance counter, as the engine stamps positions and packets.
    UINT64 BoundaryTime(uint64_t n, int64_t lag) const;
    int64_t BoundaryLag(uint64_t n) const;
    void PlayPeriod();
    void CapturePeriod();
    void StopClock();
    bool Unplugged() const { return m_state->unplugged.load(); }
    size_t BufferBytes() const { return static_cast<size_t>(m_bufferFrames) * m_format.blockAlign; }
    void CountLateWrites(uint64_t frame);
    void BeginRecording();

public:
    // The clock service: the device position in bytes.
    HRESULT ClockFrequency(UINT64* frequency) {
        if (frequency == nullptr) return E_POINTER;
        if (Unplugged()) return AUDCLNT_E_DEVICE_INVALIDATED;
        *frequency = static_cast<UINT64>(m_format.blockAlign) * m_format.sampleRate;
        return S_OK;
    }
    HRESULT ClockPosition(UINT64* position, UINT64* counter);

private:

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
    HANDLE m_clockRun = nullptr;   // auto: a start
    HANDLE m_clockStop = nullptr;  // manual: stop the running clock
    HANDLE m_clockIdle = nullptr;  // auto: the clock has stopped
    bool m_clockQuit = false;
    uint64_t m_ticks = 0;
    DWORD m_startTick = 0;
    int64_t m_origin = 0;  // QueryPerformanceCounter at Start
    UINT32 m_alignedFrames = 0;  // the answer to a misaligned Initialize
    // Render: a period released and not yet taken by the engine; the copy
    // is what was released, to catch writes after the hand-over.
    bool m_released = false;
    bool m_snapshotValid = false;
    std::vector<uint8_t> m_releasedCopy;
    uint64_t m_lastPlayed = 0;  // recording frame of the last period played
    bool m_pending = false;  // a GetBuffer awaits its ReleaseBuffer
    UINT32 m_pendingFrames = 0;
    bool m_packetReady = false;
    bool m_lostPacket = false;  // the next packet follows lost data
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

class VirtualClock final : public ServiceBase<IAudioClock> {
public:
    using ServiceBase::ServiceBase;
    HRESULT STDMETHODCALLTYPE GetFrequency(UINT64* frequency) override {
        return m_client->ClockFrequency(frequency);
    }
    HRESULT STDMETHODCALLTYPE GetPosition(UINT64* position, UINT64* counter) override {
        return m_client->ClockPosition(position, counter);
    }
    HRESULT STDMETHODCALLTYPE GetCharacteristics(DWORD* characteristics) override {
        if (characteristics == nullptr) return E_POINTER;
        *characteristics = 0;
        return S_OK;
    }
};

// Frames the device has played before the period now playing: a client
// that released fewer than that plus one period has been heard as silence.
HRESULT VirtualAudioClient::ClockPosition(UINT64* position, UINT64* counter) {
    if (position == nullptr) return E_POINTER;
    if (Unplugged()) return AUDCLNT_E_DEVICE_INVALIDATED;
    std::lock_guard<std::mutex> guard(m_lock);
    const uint64_t begun = m_ticks > 0 ? m_ticks - 1 : 0;
    *position = begun * m_bufferFrames * m_format.blockAlign;
    if (counter != nullptr) *counter = BoundaryTime(begun, 0);
    return S_OK;
}

VirtualAudioClient::~VirtualAudioClient() {
    StopClock();
    CloseClock();
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
        // A stream that never played has no recording, as a pin that
        // received nothing has none.
        if (copy.data.empty()) return;
        const std::string path =
            m_state->recordFolder + "\\render-" + std::to_string(NextRecordingNumber()) + ".wav";
        WriteRecordingWav(path, copy);
        WriteGlitchLog(path, copy);
    }
}

HRESULT VirtualAudioClient::IsFormatSupported(AUDCLNT_SHAREMODE mode, const WAVEFORMATEX* format,
                                              WAVEFORMATEX** closest) {
    if (format == nullptr) return E_POINTER;
    if (closest != nullptr) *closest = nullptr;
    // Only the exclusive path is modelled; the drivers never share.
    if (mode != AUDCLNT_SHAREMODE_EXCLUSIVE) return E_NOTIMPL;
    if (Unplugged()) return AUDCLNT_E_DEVICE_INVALIDATED;
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
    if (Unplugged()) return AUDCLNT_E_DEVICE_INVALIDATED;
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
    if (Unplugged()) return AUDCLNT_E_DEVICE_INVALIDATED;
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
        // Windows tells the next aligned size through GetBufferSize.
        UINT32 aligned = frames;
        while ((static_cast<uint64_t>(aligned) * f.blockAlign) % alignment != 0) ++aligned;
        m_alignedFrames = aligned;
        return AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED;
    }
    std::lock_guard<std::mutex> guard(m_state->lock);
    if (m_state->config.heldByOtherApplication || m_state->exclusiveOwned) {
        return AUDCLNT_E_DEVICE_IN_USE;
    }
    m_buffer.assign(static_cast<size_t>(frames) * f.blockAlign, kGarbage);
    m_releasedCopy.assign(m_buffer.size(), 0);
    m_state->exclusiveOwned = true;
    m_ownsDevice = true;
    m_format = f;
    m_period = duration;
    m_bufferFrames = frames;
    m_eventDriven = true;
    m_initialized = true;
    return S_OK;
}

// A render stream is recorded once a client asks for its render service: a
// client that only tried the size (and released it) plays nothing.
void VirtualAudioClient::BeginRecording() {
    if (m_recording) return;
    auto recording = std::make_shared<RenderRecording>();
    recording->sampleRate = m_format.sampleRate;
    recording->channels = m_format.channels;
    recording->containerBits = m_format.containerBits;
    recording->validBits = m_format.validBits;
    recording->period = m_period;
    recording->periodFrames = m_bufferFrames;
    std::lock_guard<std::mutex> guard(m_state->lock);
    auto& kept = m_state->recordings;
    if (kept.size() >= kMaxRecordingsKept) kept.erase(kept.begin());
    kept.push_back(recording);
    m_recording = std::move(recording);
}

HRESULT VirtualAudioClient::Start() {
    if (Unplugged()) return AUDCLNT_E_DEVICE_INVALIDATED;
    if (!m_initialized) return AUDCLNT_E_NOT_INITIALIZED;
    if (m_started) return AUDCLNT_E_NOT_STOPPED;
    if (m_eventDriven && m_event == nullptr) return AUDCLNT_E_EVENTHANDLE_NOT_SET;
    // The clock thread is made once and then only woken: a thread start
    // costs the scheduler more than a period of the shortest buffers.
    if (m_clock == nullptr) {
        m_clockRun = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        m_clockStop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        m_clockIdle = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        if (m_clockRun != nullptr && m_clockStop != nullptr && m_clockIdle != nullptr) {
            m_clock = CreateThread(nullptr, 0, ClockThread, this, CREATE_SUSPENDED, nullptr);
        }
        if (m_clock == nullptr) {
            CloseClock();
            return E_OUTOFMEMORY;
        }
        // The device's clock is hardware: it waits for the scheduler no
        // more than this process can help.
        SetThreadPriority(m_clock, THREAD_PRIORITY_TIME_CRITICAL);
        ResumeThread(m_clock);
    }
    m_startTick = GetTickCount();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    m_origin = now.QuadPart;
    m_state->periods = 0;
    m_state->servedBoundary = -1;
    ResetEvent(m_clockStop);
    SetEvent(m_clockRun);
    m_started = true;
    CountStreamStart();
    return S_OK;
}

// A stopped stream keeps what it holds (a released render period, an unread
// capture packet) and its position; only Reset clears them.
HRESULT VirtualAudioClient::Stop() {
    if (!m_initialized) return AUDCLNT_E_NOT_INITIALIZED;
    if (!m_started) return Unplugged() ? AUDCLNT_E_DEVICE_INVALIDATED : S_FALSE;
    StopClock();
    m_state->periods = 0;
    return Unplugged() ? AUDCLNT_E_DEVICE_INVALIDATED : S_OK;
}

HRESULT VirtualAudioClient::Reset() {
    if (Unplugged()) return AUDCLNT_E_DEVICE_INVALIDATED;
    if (!m_initialized) return AUDCLNT_E_NOT_INITIALIZED;
    if (m_started) return AUDCLNT_E_NOT_STOPPED;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_pending) return AUDCLNT_E_BUFFER_OPERATION_PENDING;
    m_released = false;
    m_packetReady = false;
    m_lostPacket = false;
    m_captureFrame = 0;
    m_ticks = 0;
    return S_OK;
}

void VirtualAudioClient::StopClock() {
    if (!m_started) return;
    SetEvent(m_clockStop);
    WaitForSingleObject(m_clockIdle, INFINITE);
    m_started = false;
}

void VirtualAudioClient::CloseClock() {
    if (m_clock != nullptr) {
        m_clockQuit = true;
        SetEvent(m_clockRun);
        WaitForSingleObject(m_clock, INFINITE);
        CloseHandle(m_clock);
    }
    for (HANDLE* event : {&m_clockRun, &m_clockStop, &m_clockIdle}) {
        if (*event != nullptr) CloseHandle(*event);
        *event = nullptr;
    }
    m_clock = nullptr;
}

DWORD WINAPI VirtualAudioClient::ClockThread(void* self) {
    auto* client = static_cast<VirtualAudioClient*>(self);
    for (;;) {
        WaitForSingleObject(client->m_clockRun, INFINITE);
        if (client->m_clockQuit) return 0;
        client->RunClock();
        SetEvent(client->m_clockIdle);
    }
}

// Real time: period n starts at Start + n periods whatever the client does.
// A starved clock thread catches up by running every boundary it missed,
// so late clients underrun exactly as they would on the device.
void VirtualAudioClient::RunClock() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    const int64_t origin = m_origin;
    const int64_t periodTicks = m_period * frequency.QuadPart / 10000000;
    for (uint64_t n = 0;; ++n) {
        const int64_t due = origin + static_cast<int64_t>(n) * periodTicks +
                            BoundaryLag(n) * frequency.QuadPart / 10000000;
        for (;;) {
            QueryPerformanceCounter(&now);
            const int64_t ahead = due - now.QuadPart;
            if (ahead <= 0) break;
            const DWORD wait = static_cast<DWORD>(ahead * 1000 / frequency.QuadPart);
            if (WaitForSingleObject(m_clockStop, wait) != WAIT_TIMEOUT) return;
        }
        if (WaitForSingleObject(m_clockStop, 0) != WAIT_TIMEOUT) return;
        if (!Tick(n)) break;
    }
    WaitForSingleObject(m_clockStop, INFINITE);
}

// How far boundary n falls behind its place on the clock (capture faults).
int64_t VirtualAudioClient::BoundaryLag(uint64_t n) const {
    if (m_state->render) return 0;
    const VirtualEndpointConfig& config = m_state->config;
    return config.capturePhase + (LatePacket(n) ? config.latePacketDelay : 0);
}

UINT64 VirtualAudioClient::BoundaryTime(uint64_t n, int64_t lag) const {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const int64_t periodTicks = m_period * frequency.QuadPart / 10000000;
    const int64_t at = m_origin + static_cast<int64_t>(n) * periodTicks;
    return static_cast<UINT64>(at / frequency.QuadPart * 10000000 +
                               at % frequency.QuadPart * 10000000 / frequency.QuadPart + lag);
}

bool VirtualAudioClient::LatePacket(uint64_t n) const {
    const VirtualEndpointConfig& config = m_state->config;
    if (m_state->render || config.latePacketCount == 0 || n < config.latePacketFrom) return false;
    const uint32_t every = config.latePacketEvery != 0 ? config.latePacketEvery : 1;
    const uint64_t k = n - config.latePacketFrom;
    return k % every == 0 && k / every < config.latePacketCount;
}

// Boundary n of this run (0 at Start).
bool VirtualAudioClient::Tick(uint64_t n) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_ticks;
        m_state->periods = n + 1;
        const VirtualEndpointConfig& config = m_state->config;
        const DWORD elapsed = GetTickCount() - m_startTick;
        if (config.unplugAfterMs != 0 && elapsed >= config.unplugAfterMs) {
            m_state->unplugged = true;
        }
        // An unplugged device signals once more, so a waiting client finds
        // out from its next call, then never again.
        if (Unplugged()) {
            SetEvent(m_event);
            return false;
        }
        const uint32_t silentAfter = config.eventsStopAfterPeriods;
        // Counted in signalled periods: capture signals from boundary 1.
        const uint64_t signalled = m_state->render ? n : n - (n > 0);
        if (silentAfter != 0 && signalled >= silentAfter) return true;
        const uint32_t silentAfterMs = config.eventsStopAfterMs;
        if (silentAfterMs != 0 && elapsed >= silentAfterMs) return true;
        if (m_state->render) {
            PlayPeriod();
        } else if (n > 0 && config.latePacketsLost && LatePacket(n)) {
            // The engine drops the packet: the next one follows lost data.
            m_captureFrame += m_bufferFrames;
            m_lostPacket = true;
            return true;
        } else if (n > 0) {
            CapturePeriod();
        } else {
            return true;  // nothing recorded yet at the start boundary
        }
    }
    SetEvent(m_event);
    return true;
}

// Bytes of the endpoint buffer changed since it was released: the device
// may already be playing them. Counted against the period at `frame`.
void VirtualAudioClient::CountLateWrites(uint64_t frame) {
    if (!m_snapshotValid) return;
    uint32_t changed = 0;
    for (size_t i = 0; i < m_buffer.size(); ++i) changed += m_buffer[i] != m_releasedCopy[i];
    if (changed == 0) return;
    std::lock_guard<std::mutex> record(m_state->lock);
    RenderRecording& r = *m_recording;
    r.lateWrites += changed;
    ++r.overwrites;
    if (r.overwriteFrames.size() < kMaxGlitchMarks) r.overwriteFrames.push_back(frame);
    std::memcpy(m_releasedCopy.data(), m_buffer.data(), m_buffer.size());
}

// The engine takes the released period for the next period of playback;
// without one the device plays silence. The recording holds what was
// released; changes made after the release are counted, not recorded.
void VirtualAudioClient::PlayPeriod() {
    const size_t bytes = BufferBytes();
    uint64_t frame = 0;
    const bool released = m_released;
    {
        std::lock_guard<std::mutex> record(m_state->lock);
        RenderRecording& r = *m_recording;
        frame = r.playedFrames;
        r.playedFrames += m_bufferFrames;
        const bool room = r.data.size() + bytes <= kMaxRecordingBytes;
        if (!room) r.truncated = true;
        if (released && room) {
            r.data.insert(r.data.end(), m_releasedCopy.begin(), m_releasedCopy.begin() + bytes);
        } else if (!released) {
            ++r.glitches;
            if (r.glitchFrames.size() < kMaxGlitchMarks) r.glitchFrames.push_back(frame);
            if (room) r.data.insert(r.data.end(), bytes, uint8_t{0});
        }
    }
    if (released) {
        CountLateWrites(frame);
        m_lastPlayed = frame;
        m_released = false;
    }
}

// The period just recorded becomes the next packet. A packet the client
// still holds or has not read is lost, and the next one says so.
void VirtualAudioClient::CapturePeriod() {
    const uint64_t first = m_captureFrame;
    m_captureFrame += m_bufferFrames;
    if (m_pending || m_packetReady) {
        ++m_state->captureOverruns;
        m_lostPacket = true;
        if (m_pending) return;
    }
    const uint32_t sampleBytes = m_format.containerBits / 8u;
    uint8_t* p = m_buffer.data();
    for (UINT32 f = 0; f < m_bufferFrames; ++f) {
        for (uint32_t c = 0; c < m_format.channels; ++c) {
            for (uint32_t b = 0; b < sampleBytes; ++b) *p++ = CaptureByte(first + f, c, b);
        }
    }
    m_packetFlags = m_lostPacket ? AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY : 0;
    m_lostPacket = false;
    m_packetReady = true;
}

HRESULT VirtualAudioClient::GetService(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (Unplugged()) return AUDCLNT_E_DEVICE_INVALIDATED;
    if (!m_initialized) return AUDCLNT_E_NOT_INITIALIZED;
    const bool wantRender = IsEqualIID(riid, __uuidof(IAudioRenderClient));
    const bool wantCapture = IsEqualIID(riid, __uuidof(IAudioCaptureClient));
    if (IsEqualIID(riid, __uuidof(IAudioClock))) {
        auto* service = new (std::nothrow) VirtualClock(this);
        if (service == nullptr) return E_OUTOFMEMORY;
        *ppv = static_cast<IAudioClock*>(service);
        return S_OK;
    }
    if (!wantRender && !wantCapture) return E_NOINTERFACE;
    if (wantRender != m_state->render) return AUDCLNT_E_WRONG_ENDPOINT_TYPE;
    if (wantRender) {
        auto* service = new (std::nothrow) VirtualRenderClient(this);
        if (service == nullptr) return E_OUTOFMEMORY;
        BeginRecording();
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
    if (Unplugged()) return AUDCLNT_E_DEVICE_INVALIDATED;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_pending) return AUDCLNT_E_OUT_OF_ORDER;
    if (frames == 0) return S_OK;
    // Event-driven exclusive streams hand over whole buffers only.
    if (frames != m_bufferFrames) return AUDCLNT_E_BUFFER_SIZE_ERROR;
    if (m_released) return AUDCLNT_E_BUFFER_TOO_LARGE;
    // Writes made since the engine took the last period are caught here.
    CountLateWrites(m_lastPlayed);
    m_snapshotValid = false;
    std::memset(m_buffer.data(), kGarbage, m_buffer.size());
    m_pending = true;
    m_pendingFrames = frames;
    m_state->servedBoundary = static_cast<int64_t>(m_ticks) - 1;
    *data = m_buffer.data();
    return S_OK;
}

HRESULT VirtualAudioClient::RenderRelease(UINT32 frames, DWORD flags) {
    if (Unplugged()) return AUDCLNT_E_DEVICE_INVALIDATED;
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_pending) return frames == 0 ? S_OK : AUDCLNT_E_OUT_OF_ORDER;
    if (frames > m_pendingFrames) return AUDCLNT_E_INVALID_SIZE;
    m_pending = false;
    if (frames == 0) return S_OK;
    // Exclusive event-driven streams take whole periods.
    if (frames != m_bufferFrames) return AUDCLNT_E_INVALID_SIZE;
    if ((flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0) std::memset(m_buffer.data(), 0, BufferBytes());
    std::memcpy(m_releasedCopy.data(), m_buffer.data(), m_buffer.size());
    m_snapshotValid = true;
    m_released = true;
    return S_OK;
}

HRESULT VirtualAudioClient::CaptureGet(BYTE** data, UINT32* frames, DWORD* flags, UINT64* position,
                                       UINT64* counter) {
    if (data == nullptr || frames == nullptr || flags == nullptr) return E_POINTER;
    if (Unplugged()) return AUDCLNT_E_DEVICE_INVALIDATED;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_pending) return AUDCLNT_E_OUT_OF_ORDER;
    *data = nullptr;
    *frames = 0;
    *flags = 0;
    if (!m_packetReady) return AUDCLNT_S_BUFFER_EMPTY;
    m_pending = true;
    m_pendingFrames = m_bufferFrames;
    m_state->servedBoundary = static_cast<int64_t>(m_ticks) - 1;
    *data = m_buffer.data();
    *frames = m_bufferFrames;
    *flags = m_packetFlags;
    if (position != nullptr) *position = m_captureFrame - m_bufferFrames;
    // When the packet's first frame was recorded, not when it was read.
    if (counter != nullptr) {
        *counter = BoundaryTime(m_captureFrame / m_bufferFrames - 1, m_state->config.capturePhase);
    }
    return S_OK;
}

HRESULT VirtualAudioClient::CaptureRelease(UINT32 frames) {
    if (Unplugged()) return AUDCLNT_E_DEVICE_INVALIDATED;
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
    if (Unplugged()) return AUDCLNT_E_DEVICE_INVALIDATED;
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
