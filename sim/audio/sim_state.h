#pragma once
// Shared state behind the virtual core-audio objects: one EndpointState per
// configured endpoint, held by every object made for it, and the process's
// object count. One lock serialises the device model; the streaming side of
// a driver calls in here the way it would call the real audio engine.

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/audio/virtual_audio.h"

namespace veltrano::sim {

struct EndpointControls;

struct EndpointState {
    VirtualEndpointConfig config;
    bool render = true;
    std::wstring id;    // IMMDevice::GetId
    std::wstring path;  // the device-path property
    std::mutex lock;
    bool exclusiveOwned = false;  // an audio client holds it exclusively
    std::atomic<bool> unplugged{false};
    std::atomic<uint32_t> captureOverruns{0};
    std::atomic<uint64_t> periods{0};  // of the running stream
    // The clock boundary (0 at Start) in whose period the client last took
    // a buffer (render) or a packet (capture); -1 before the first.
    std::atomic<int64_t> servedBoundary{-1};
    std::vector<std::shared_ptr<RenderRecording>> recordings;
    std::string recordFolder;
    // Properties written, volume, mute, plug state and notifications.
    std::shared_ptr<EndpointControls> controls;
};

using EndpointList = std::vector<std::shared_ptr<EndpointState>>;

struct VirtualWorld {
    EndpointList render;
    EndpointList capture;
    HRESULT enumeratorResult = S_OK;
    HRESULT enumerationResult = S_OK;
};

// The current endpoints (a snapshot: configuration may replace them later).
std::shared_ptr<const VirtualWorld> CurrentWorld();

void CountStreamStart();
// Sequence number of the next WAV file written in this process.
unsigned NextRecordingNumber();

// Every virtual COM object counts itself for LiveVirtualObjects.
class LiveObject {
public:
    LiveObject();
    ~LiveObject();
    LiveObject(const LiveObject&) = delete;
    LiveObject& operator=(const LiveObject&) = delete;
};

// The reference count of a single-threaded or free-threaded COM object.
// Every reference is also counted for LiveVirtualReferences, so that one
// taken and never given back shows even on an object that lives on.
class RefCount {
public:
    RefCount();
    ULONG AddRef();
    ULONG Release();

private:
    std::atomic<ULONG> m_count{1};
};

// IUnknown for a virtual object exposing one interface: created with one
// reference, counted among the live objects tests check, deleted at the
// last Release.
template <typename Interface>
class ComObject : public Interface {
public:
    ComObject() = default;
    virtual ~ComObject() = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, __uuidof(Interface))) {
            *ppv = static_cast<Interface*>(this);
            this->AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_refs.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = m_refs.Release();
        if (left == 0) delete this;
        return left;
    }

private:
    LiveObject m_live;
    RefCount m_refs;
};

}  // namespace veltrano::sim
