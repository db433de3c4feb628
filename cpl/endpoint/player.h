#pragma once
// Player: the control panel's one COM object for Windows core audio. It
// holds the device enumerator and the collections of active endpoints, and
// turns the audio service's notifications into messages posted to the main
// window: an endpoint becoming active posts WM_CPL_DEVICE_ACTIVE, a volume
// or mute change on a registered endpoint posts WM_CPL_VOLUME_CHANGED.
//
// The notification methods run on the audio service's threads; they read
// only the window handle and post, so they take no lock. Everything else
// runs on the UI thread. The lock guards the two endpoint-volume slots,
// which are registered and released on the UI thread while the service may
// be calling OnNotify.

// clang-format off
#include <windows.h>
#include <mmdeviceapi.h>
#include <endpointvolume.h>
// clang-format on
#include <wrl/client.h>

namespace veltrano::cpl {

class Player final : public IMMNotificationClient, public IAudioEndpointVolumeCallback {
public:
    // Initialises COM (multithreaded) on the calling thread, creates the
    // enumerator through the core-audio seam and registers for endpoint
    // notifications. Returns the object with one reference (never null
    // unless out of memory); a failed enumerator leaves HasEnumerator()
    // false and every later discovery fails.
    static Player* Create(HWND window);

    // IUnknown: IMMNotificationClient is the primary interface; both
    // interfaces share one interlocked count, and the last Release deletes.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IMMNotificationClient.
    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR deviceId, DWORD newState) override;
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR deviceId) override;
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR deviceId) override;
    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role,
                                                     LPCWSTR deviceId) override;
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR deviceId,
                                                     const PROPERTYKEY key) override;

    // IAudioEndpointVolumeCallback.
    HRESULT STDMETHODCALLTYPE OnNotify(PAUDIO_VOLUME_NOTIFICATION_DATA data) override;

    // Direction 0 = render, 1 = capture throughout.
    // Replaces the direction's collection with its active endpoints.
    HRESULT EnumerateEndpoints(int direction);
    // Endpoints in the direction's collection; 0 without one.
    UINT EndpointCount(int direction) const;
    // The endpoint at an index of the direction's collection.
    HRESULT Item(int direction, UINT index, IMMDevice** device) const;

    // Activates the endpoint's IAudioEndpointVolume into the direction's
    // slot and registers this object for its change notifications. A slot
    // already held is unregistered and released first.
    HRESULT RegisterVolumeNotification(UINT index, int direction);
    // Unregisters (when registered), releases and clears the slot.
    void ReleaseVolumeNotification(int direction);

    bool HasEnumerator() const { return m_enumerator != nullptr; }
    bool EndpointCallbackRegistered() const { return m_enumeratorCallback; }
    bool VolumeCallbackRegistered(int direction) const;
    HWND Window() const { return m_window; }

    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

private:
    explicit Player(HWND window);
    ~Player();

    HWND m_window;
    Microsoft::WRL::ComPtr<IMMDeviceEnumerator> m_enumerator;
    bool m_enumeratorCallback = false;
    Microsoft::WRL::ComPtr<IMMDeviceCollection> m_collections[2];
    Microsoft::WRL::ComPtr<IAudioEndpointVolume> m_endpointVolumes[2];
    bool m_volumeCallbacks[2] = {false, false};
    mutable CRITICAL_SECTION m_lock;
    volatile LONG m_refs = 1;
};

}  // namespace veltrano::cpl
