#include "cpl/endpoint/player.h"

#include <new>

#include "cpl/common/cpl_messages.h"
#include "platform/audio/audio_seam.h"

namespace veltrano::cpl {
namespace {

// The lock guards only the endpoint-volume slots.
class Locked {
public:
    explicit Locked(CRITICAL_SECTION& lock) : m_lock(lock) { EnterCriticalSection(&m_lock); }
    ~Locked() { LeaveCriticalSection(&m_lock); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    CRITICAL_SECTION& m_lock;
};

bool ValidDirection(int direction) { return direction == 0 || direction == 1; }

}  // namespace

Player* Player::Create(HWND window) { return new (std::nothrow) Player(window); }

Player::Player(HWND window) : m_window(window) {
    InitializeCriticalSection(&m_lock);
    // The UI thread may already be in another apartment; the enumerator
    // works from either, so the result does not matter.
    (void)CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(platform::CreateDeviceEnumerator(m_enumerator.ReleaseAndGetAddressOf())) &&
        m_enumerator) {
        m_enumeratorCallback = SUCCEEDED(m_enumerator->RegisterEndpointNotificationCallback(this));
    } else {
        m_enumerator.Reset();
    }
}

Player::~Player() {
    // The enumerator holds no reference on us: without this it would call
    // a freed object at the next device change.
    if (m_enumeratorCallback && m_enumerator) {
        m_enumerator->UnregisterEndpointNotificationCallback(this);
    }
    // Registrations are removed by the endpoint set's reset; a slot still
    // held here is released with its registration, so the service keeps no
    // reference on a dying object.
    for (int direction = 0; direction < 2; ++direction) ReleaseVolumeNotification(direction);
    m_collections[0].Reset();
    m_collections[1].Reset();
    m_enumerator.Reset();
    DeleteCriticalSection(&m_lock);
}

HRESULT STDMETHODCALLTYPE Player::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, __uuidof(IMMNotificationClient))) {
        *ppv = static_cast<IMMNotificationClient*>(this);
    } else if (IsEqualIID(riid, __uuidof(IAudioEndpointVolumeCallback))) {
        *ppv = static_cast<IAudioEndpointVolumeCallback*>(this);
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE Player::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&m_refs));
}

ULONG STDMETHODCALLTYPE Player::Release() {
    const LONG left = InterlockedDecrement(&m_refs);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE Player::OnDeviceStateChanged(LPCWSTR, DWORD newState) {
    if (newState == DEVICE_STATE_ACTIVE && m_window != nullptr) {
        PostMessageA(m_window, WM_CPL_DEVICE_ACTIVE, 0, 0);
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Player::OnDeviceAdded(LPCWSTR) { return S_OK; }
HRESULT STDMETHODCALLTYPE Player::OnDeviceRemoved(LPCWSTR) { return S_OK; }
HRESULT STDMETHODCALLTYPE Player::OnDefaultDeviceChanged(EDataFlow, ERole, LPCWSTR) { return S_OK; }
HRESULT STDMETHODCALLTYPE Player::OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Player::OnNotify(PAUDIO_VOLUME_NOTIFICATION_DATA) {
    if (m_window != nullptr) PostMessageA(m_window, WM_CPL_VOLUME_CHANGED, 0, 0);
    return S_OK;
}

HRESULT Player::EnumerateEndpoints(int direction) {
    if (!ValidDirection(direction) || !m_enumerator) return E_FAIL;
    Microsoft::WRL::ComPtr<IMMDeviceCollection> collection;
    const HRESULT hr = m_enumerator->EnumAudioEndpoints(direction == 0 ? eRender : eCapture,
                                                        DEVICE_STATE_ACTIVE, &collection);
    // The previous collection goes in every case: its indexes describe
    // endpoints as they were.
    m_collections[direction] = collection;
    if (FAILED(hr)) return hr;
    return collection ? S_OK : E_FAIL;
}

UINT Player::EndpointCount(int direction) const {
    if (!ValidDirection(direction) || !m_collections[direction]) return 0;
    UINT count = 0;
    if (FAILED(m_collections[direction]->GetCount(&count))) return 0;
    return count;
}

HRESULT Player::Item(int direction, UINT index, IMMDevice** device) const {
    if (device == nullptr) return E_POINTER;
    *device = nullptr;
    if (!ValidDirection(direction) || !m_collections[direction]) return E_FAIL;
    const HRESULT hr = m_collections[direction]->Item(index, device);
    if (SUCCEEDED(hr) && *device == nullptr) return E_FAIL;
    return hr;
}

HRESULT Player::RegisterVolumeNotification(UINT index, int direction) {
    if (!ValidDirection(direction)) return E_FAIL;
    Microsoft::WRL::ComPtr<IMMDevice> device;
    HRESULT hr = Item(direction, index, &device);
    if (FAILED(hr)) return hr;
    // A second line input replaces the first: unregister and release the
    // held one, so the service keeps no registration nobody can remove.
    ReleaseVolumeNotification(direction);
    Locked guard(m_lock);
    hr = device->Activate(__uuidof(IAudioEndpointVolume), CLSCTX_INPROC_SERVER, nullptr,
                          reinterpret_cast<void**>(m_endpointVolumes[direction].GetAddressOf()));
    if (SUCCEEDED(hr) && m_endpointVolumes[direction]) {
        hr = m_endpointVolumes[direction]->RegisterControlChangeNotify(
            static_cast<IAudioEndpointVolumeCallback*>(this));
        m_volumeCallbacks[direction] = SUCCEEDED(hr);
    } else {
        m_endpointVolumes[direction].Reset();
        if (SUCCEEDED(hr)) hr = E_FAIL;
    }
    return hr;
}

void Player::ReleaseVolumeNotification(int direction) {
    if (!ValidDirection(direction)) return;
    // OnNotify takes no lock, so unregistering (which waits for a
    // notification in progress) cannot deadlock with it here.
    Locked guard(m_lock);
    if (!m_endpointVolumes[direction]) return;
    if (m_volumeCallbacks[direction]) {
        m_endpointVolumes[direction]->UnregisterControlChangeNotify(
            static_cast<IAudioEndpointVolumeCallback*>(this));
    }
    m_volumeCallbacks[direction] = false;
    m_endpointVolumes[direction].Reset();
}

bool Player::VolumeCallbackRegistered(int direction) const {
    if (!ValidDirection(direction)) return false;
    Locked guard(m_lock);
    return m_volumeCallbacks[direction];
}

}  // namespace veltrano::cpl
