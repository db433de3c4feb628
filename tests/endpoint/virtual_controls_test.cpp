// The virtual endpoints' own promises that the endpoint control relies on:
// stores refuse what Windows refuses, and plug changes reach enumerator
// clients on the service's thread and stop at unregistration.

#include <audioclient.h>
#include <wrl/client.h>

#include <atomic>
#include <string>

#include "cpl/endpoint/endpoint_keys.h"
#include "endpoint/endpoint_fixture.h"
#include "platform/audio/audio_seam.h"

namespace veltrano::test {
namespace {

using Microsoft::WRL::ComPtr;

class ClientSpy final : public IMMNotificationClient {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR id, DWORD state) override {
        lastId = id;
        lastState = state;
        thread = GetCurrentThreadId();
        ++stateChanges;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow, ERole, LPCWSTR) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override {
        ++propertyChanges;
        return S_OK;
    }
    std::wstring lastId;
    std::atomic<DWORD> lastState{0};
    std::atomic<DWORD> thread{0};
    std::atomic<int> stateChanges{0};
    std::atomic<int> propertyChanges{0};
};

ComPtr<IMMDevice> FirstRender(IMMDeviceEnumerator* enumerator) {
    ComPtr<IMMDeviceCollection> all;
    EXPECT_EQ(enumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, &all), S_OK);
    ComPtr<IMMDevice> device;
    if (all) {
        EXPECT_EQ(all->Item(0, &device), S_OK);
    }
    return device;
}

TEST_F(EndpointTest, StoresRefuseWhatWindowsRefuses) {
    ComPtr<IMMDeviceEnumerator> enumerator;
    ASSERT_EQ(platform::CreateDeviceEnumerator(&enumerator), S_OK);
    ComPtr<IMMDevice> device = FirstRender(enumerator.Get());
    ASSERT_TRUE(device);
    ComPtr<IPropertyStore> store;
    EXPECT_EQ(device->OpenPropertyStore(3, &store), E_INVALIDARG);
    ASSERT_EQ(device->OpenPropertyStore(STGM_READ, &store), S_OK);
    PROPVARIANT number;
    PropVariantInit(&number);
    number.vt = VT_UI4;
    number.ulVal = 7;
    EXPECT_EQ(store->SetValue(cpl::kKeyPhysicalSpeakers, number), STG_E_ACCESSDENIED);

    ComPtr<IPropertyStore> writable;
    ASSERT_EQ(device->OpenPropertyStore(STGM_READWRITE, &writable), S_OK);
    PROPVARIANT shortValue;
    PropVariantInit(&shortValue);
    shortValue.vt = VT_I2;
    EXPECT_EQ(writable->SetValue(cpl::kKeyPhysicalSpeakers, shortValue), E_INVALIDARG);
    ASSERT_EQ(writable->SetValue(cpl::kKeyPhysicalSpeakers, number), S_OK);
    // An opened store sees the write, and so does the next one.
    PROPVARIANT read;
    PropVariantInit(&read);
    ASSERT_EQ(store->GetValue(cpl::kKeyPhysicalSpeakers, &read), S_OK);
    EXPECT_EQ(read.vt, VT_UI4);
    EXPECT_EQ(read.ulVal, 7u);
    PropVariantClear(&read);

    // A write denied after the store was opened fails too.
    sim::DenyPropertyWrites(true);
    EXPECT_EQ(writable->SetValue(cpl::kKeyPhysicalSpeakers, number), E_ACCESSDENIED);
}

TEST_F(EndpointTest, PlugChangesReachClientsOnTheServiceThreadUntilTheyUnregister) {
    ComPtr<IMMDeviceEnumerator> enumerator;
    ASSERT_EQ(platform::CreateDeviceEnumerator(&enumerator), S_OK);
    ClientSpy spy;
    ASSERT_EQ(enumerator->RegisterEndpointNotificationCallback(&spy), S_OK);
    ComPtr<IMMDevice> device = FirstRender(enumerator.Get());
    ASSERT_TRUE(device);

    ASSERT_TRUE(sim::UnplugEndpoint(true, 0));
    sim::WaitForVirtualNotifications();
    EXPECT_EQ(spy.stateChanges, 1);
    EXPECT_EQ(spy.lastState, static_cast<DWORD>(DEVICE_STATE_UNPLUGGED));
    EXPECT_NE(spy.thread, GetCurrentThreadId());
    LPWSTR id = nullptr;
    ASSERT_EQ(device->GetId(&id), S_OK);
    EXPECT_EQ(spy.lastId, id);
    CoTaskMemFree(id);

    // Gone from active enumerations; the held endpoint says so.
    ComPtr<IMMDeviceCollection> active;
    ASSERT_EQ(enumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, &active), S_OK);
    UINT count = 9;
    ASSERT_EQ(active->GetCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    ComPtr<IMMDevice> fallback;
    EXPECT_EQ(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &fallback),
              HRESULT_FROM_WIN32(ERROR_NOT_FOUND));
    DWORD state = 0;
    ASSERT_EQ(device->GetState(&state), S_OK);
    EXPECT_EQ(state, static_cast<DWORD>(DEVICE_STATE_UNPLUGGED));
    ComPtr<IAudioClient> client;
    EXPECT_EQ(device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                               reinterpret_cast<void**>(client.GetAddressOf())),
              AUDCLNT_E_DEVICE_INVALIDATED);

    ASSERT_TRUE(sim::PlugEndpoint(true, 0));
    sim::WaitForVirtualNotifications();
    EXPECT_EQ(spy.lastState, static_cast<DWORD>(DEVICE_STATE_ACTIVE));

    ASSERT_EQ(enumerator->UnregisterEndpointNotificationCallback(&spy), S_OK);
    EXPECT_EQ(enumerator->UnregisterEndpointNotificationCallback(&spy),
              HRESULT_FROM_WIN32(ERROR_NOT_FOUND));
    ASSERT_TRUE(sim::UnplugEndpoint(true, 0));
    sim::WaitForVirtualNotifications();
    EXPECT_EQ(spy.stateChanges, 2);
}

}  // namespace
}  // namespace veltrano::test
