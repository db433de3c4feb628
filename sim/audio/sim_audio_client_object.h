#pragma once
// The virtual IAudioClient's object, shared by its three concerns: the
// client calls (sim_audio_client.cpp), the engine's clock that plays and
// records each period (sim_engine_clock.cpp), and the render, capture and
// clock services (sim_stream_services.cpp).

#include <audioclient.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "sim/audio/sim_com.h"
#include "sim/audio/sim_format.h"
#include "sim/audio/sim_state.h"

namespace veltrano::sim {

// What GetBuffer hands out before the client writes: never silence, so a
// sample the client leaves unwritten shows in the recording.
inline constexpr uint8_t kGarbage = 0xD5;

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

}  // namespace veltrano::sim
