// The virtual endpoint's engine clock: period boundaries on real time,
// each playing the released render period or recording the next capture
// packet, and the faults that move or drop them.
#include <cstring>

#include "sim/audio/sim_audio_client_object.h"
#include "sim/audio/sim_controls.h"

namespace veltrano::sim {

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

}  // namespace veltrano::sim
