#include "sim/audio/sim_audio_client.h"

#include <cstring>
#include <new>
#include <vector>

#include "sim/audio/sim_audio_client_object.h"
#include "sim/audio/sim_controls.h"
#include "sim/audio/sim_format.h"
#include "sim/audio/sim_wav.h"

namespace veltrano::sim {
namespace {

constexpr int64_t kMaxEventBuffer = 5000000;  // 500 ms in 100-ns units
constexpr GUID kSubtypeFloat = {
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

}  // namespace

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

HRESULT NewVirtualAudioClient(std::shared_ptr<EndpointState> state, IAudioClient** client) {
    auto* object = new (std::nothrow) VirtualAudioClient(std::move(state));
    if (object == nullptr) return E_OUTOFMEMORY;
    *client = object;
    return S_OK;
}

}  // namespace veltrano::sim
