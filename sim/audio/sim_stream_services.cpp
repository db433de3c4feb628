// The virtual client's services: render and capture buffers and the
// device clock, as exclusive event-driven streams hand them out.
#include <cstring>
#include <new>

#include "sim/audio/sim_audio_client_object.h"

namespace veltrano::sim {
namespace {

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

}  // namespace

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

}  // namespace veltrano::sim
