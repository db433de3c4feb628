// The virtual endpoints hold clients to the rules Windows enforces, so the
// driver tests above cannot pass against a lenient model.
#include <audioclient.h>
#include <mmdeviceapi.h>
#include <wrl/client.h>

#include <cstring>
#include <fstream>
#include <string>

#include "platform/audio/audio_seam.h"
#include "sim/audio/virtual_controls.h"
#include "wasapi_fixture.h"

namespace veltrano::test {
namespace {

using Microsoft::WRL::ComPtr;
using VirtualEndpoints = WasapiTest;

constexpr PROPERTYKEY kPathKey = {
    {0xb3f8fa53, 0x0004, 0x438e, {0x90, 0x03, 0x51, 0xa4, 0x6e, 0x13, 0x9b, 0xfc}}, 2};
constexpr GUID kPcm = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

WAVEFORMATEXTENSIBLE Format(uint32_t rate, int container, int valid, int channels = 2) {
    WAVEFORMATEXTENSIBLE f{};
    f.Format = {WAVE_FORMAT_EXTENSIBLE,
                static_cast<WORD>(channels),
                rate,
                0,
                static_cast<WORD>(container / 8 * channels),
                static_cast<WORD>(container),
                22};
    f.Format.nAvgBytesPerSec = f.Format.nBlockAlign * rate;
    f.Samples.wValidBitsPerSample = static_cast<WORD>(valid);
    f.dwChannelMask = 3;
    f.SubFormat = kPcm;
    return f;
}

ComPtr<IMMDevice> Endpoint(EDataFlow flow) {
    ComPtr<IMMDeviceEnumerator> enumerator;
    EXPECT_EQ(platform::CreateDeviceEnumerator(&enumerator), S_OK);
    ComPtr<IMMDeviceCollection> collection;
    EXPECT_EQ(enumerator->EnumAudioEndpoints(flow, DEVICE_STATE_ACTIVE, &collection), S_OK);
    ComPtr<IMMDevice> device;
    if (collection) collection->Item(0, &device);
    return device;
}

ComPtr<IAudioClient> Client(IMMDevice* device) {
    ComPtr<IAudioClient> client;
    EXPECT_EQ(device->Activate(__uuidof(IAudioClient), CLSCTX_INPROC_SERVER, nullptr,
                               reinterpret_cast<void**>(client.GetAddressOf())),
              S_OK);
    return client;
}

TEST_F(VirtualEndpoints, ThePropertyStoreNamesTheUsbFunction) {
    ComPtr<IMMDevice> device = Endpoint(eRender);
    ASSERT_TRUE(device);
    ComPtr<IPropertyStore> store;
    ASSERT_EQ(device->OpenPropertyStore(STGM_READ, &store), S_OK);
    PROPVARIANT value;
    PropVariantInit(&value);
    ASSERT_EQ(store->GetValue(kPathKey, &value), S_OK);
    ASSERT_EQ(value.vt, VT_LPWSTR);
    EXPECT_NE(std::wstring(value.pwszVal).find(L"VID_1209&PID_0001&MI_01"), std::wstring::npos);
    PropVariantClear(&value);
    // Writing needs administrator rights; a process without them is refused.
    ComPtr<IPropertyStore> writable;
    sim::DenyPropertyWrites(true);
    EXPECT_EQ(device->OpenPropertyStore(STGM_READWRITE, &writable), E_ACCESSDENIED);
    sim::DenyPropertyWrites(false);
}

TEST_F(VirtualEndpoints, ExclusiveFormatsAreExactlyTheListedOnes) {
    sim::VirtualAudioConfig config;
    config.render[0].containers = {{16, 16}, {32, 24}};
    config.render[0].rateMask = 0x2;  // 44100
    Configure(config);
    ComPtr<IAudioClient> client = Client(Endpoint(eRender).Get());
    const struct {
        WAVEFORMATEXTENSIBLE format;
        HRESULT expected;
    } cases[] = {
        {Format(44100, 16, 16), S_OK},
        {Format(44100, 32, 24), S_OK},
        {Format(44100, 24, 24), AUDCLNT_E_UNSUPPORTED_FORMAT},
        {Format(44100, 32, 32), AUDCLNT_E_UNSUPPORTED_FORMAT},
        {Format(48000, 16, 16), AUDCLNT_E_UNSUPPORTED_FORMAT},
        {Format(44100, 16, 16, 3), AUDCLNT_E_UNSUPPORTED_FORMAT},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(client->IsFormatSupported(AUDCLNT_SHAREMODE_EXCLUSIVE, &c.format.Format, nullptr),
                  c.expected)
            << c.format.Format.nSamplesPerSec << " " << c.format.Format.wBitsPerSample;
    }
    WAVEFORMATEXTENSIBLE badAlign = Format(44100, 16, 16);
    badAlign.Format.nBlockAlign = 2;
    EXPECT_EQ(client->IsFormatSupported(AUDCLNT_SHAREMODE_EXCLUSIVE, &badAlign.Format, nullptr),
              AUDCLNT_E_UNSUPPORTED_FORMAT);
}

TEST_F(VirtualEndpoints, InitializeKeepsWindowsRules) {
    sim::VirtualAudioConfig config;
    config.render[0].alignmentBytes = 128;
    Configure(config);
    ComPtr<IMMDevice> device = Endpoint(eRender);
    const WAVEFORMATEXTENSIBLE f = Format(48000, 16, 16);
    const DWORD event = AUDCLNT_STREAMFLAGS_EVENTCALLBACK;
    ComPtr<IAudioClient> client = Client(device.Get());
    EXPECT_EQ(client->Start(), AUDCLNT_E_NOT_INITIALIZED);
    EXPECT_EQ(client->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE, event, 5010000, 5010000, &f.Format,
                                 nullptr),
              AUDCLNT_E_BUFFER_SIZE_ERROR);
    // 10.02 ms is 480.96 frames, rounded to 481 of 4 bytes: not 128-aligned.
    EXPECT_EQ(
        client->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE, event, 100200, 100200, &f.Format, nullptr),
        AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED);
    ASSERT_EQ(
        client->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE, event, 100000, 100000, &f.Format, nullptr),
        S_OK);
    EXPECT_EQ(
        client->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE, event, 100000, 100000, &f.Format, nullptr),
        AUDCLNT_E_ALREADY_INITIALIZED);
    UINT32 frames = 0;
    ASSERT_EQ(client->GetBufferSize(&frames), S_OK);
    EXPECT_EQ(frames, 480u);
    EXPECT_EQ(client->Start(), AUDCLNT_E_EVENTHANDLE_NOT_SET);

    // The endpoint is taken: another client cannot have it.
    ComPtr<IAudioClient> other = Client(device.Get());
    EXPECT_EQ(other->IsFormatSupported(AUDCLNT_SHAREMODE_EXCLUSIVE, &f.Format, nullptr),
              AUDCLNT_E_DEVICE_IN_USE);
    EXPECT_EQ(
        other->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE, event, 100000, 100000, &f.Format, nullptr),
        AUDCLNT_E_DEVICE_IN_USE);
    client.Reset();
    EXPECT_EQ(other->IsFormatSupported(AUDCLNT_SHAREMODE_EXCLUSIVE, &f.Format, nullptr), S_OK);
}

TEST_F(VirtualEndpoints, RenderBuffersGoWholeInOrderAndEventsFollowTheClock) {
    ComPtr<IAudioClient> client = Client(Endpoint(eRender).Get());
    const WAVEFORMATEXTENSIBLE f = Format(48000, 16, 16);
    ASSERT_EQ(client->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE, AUDCLNT_STREAMFLAGS_EVENTCALLBACK,
                                 100000, 100000, &f.Format, nullptr),
              S_OK);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_EQ(client->SetEventHandle(event), S_OK);
    ComPtr<IAudioCaptureClient> wrong;
    EXPECT_EQ(client->GetService(__uuidof(IAudioCaptureClient),
                                 reinterpret_cast<void**>(wrong.GetAddressOf())),
              AUDCLNT_E_WRONG_ENDPOINT_TYPE);
    ComPtr<IAudioRenderClient> render;
    ASSERT_EQ(client->GetService(__uuidof(IAudioRenderClient),
                                 reinterpret_cast<void**>(render.GetAddressOf())),
              S_OK);
    BYTE* data = nullptr;
    EXPECT_EQ(render->GetBuffer(240, &data), AUDCLNT_E_BUFFER_SIZE_ERROR);
    EXPECT_EQ(render->ReleaseBuffer(480, 0), AUDCLNT_E_OUT_OF_ORDER);
    ASSERT_EQ(render->GetBuffer(480, &data), S_OK);
    BYTE* second = nullptr;
    EXPECT_EQ(render->GetBuffer(480, &second), AUDCLNT_E_OUT_OF_ORDER);
    std::memset(data, 0x11, 480 * 4);
    ASSERT_EQ(render->ReleaseBuffer(480, 0), S_OK);
    EXPECT_EQ(render->GetBuffer(480, &second), AUDCLNT_E_BUFFER_TOO_LARGE);  // not yet played
    ASSERT_EQ(client->Start(), S_OK);
    EXPECT_EQ(client->Start(), AUDCLNT_E_NOT_STOPPED);
    for (int period = 0; period < 5; ++period) {
        ASSERT_EQ(WaitForSingleObject(event, 10000), WAIT_OBJECT_0);
        ASSERT_EQ(render->GetBuffer(480, &data), S_OK);
        std::memset(data, 0x20 + period, 480 * 4);
        ASSERT_EQ(render->ReleaseBuffer(480, 0), S_OK);
    }
    EXPECT_EQ(client->Stop(), S_OK);
    EXPECT_EQ(client->Stop(), S_FALSE);
    CloseHandle(event);
    const auto recordings = sim::RenderRecordings(0);
    ASSERT_EQ(recordings.size(), 1u);
    ASSERT_EQ(recordings[0].data.size(), 6u * 480 * 4);
    for (int period = 0; period < 6; ++period) {
        const uint8_t expected = period == 0 ? 0x11 : static_cast<uint8_t>(0x20 + period - 1);
        EXPECT_EQ(recordings[0].data[static_cast<size_t>(period) * 480 * 4], expected);
    }
}

TEST_F(VirtualEndpoints, ASilentEngineStopsSignalling) {
    sim::VirtualAudioConfig config;
    config.capture[0].eventsStopAfterPeriods = 2;
    Configure(config);
    ComPtr<IAudioClient> client = Client(Endpoint(eCapture).Get());
    const WAVEFORMATEXTENSIBLE f = Format(48000, 16, 16);
    ASSERT_EQ(client->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE, AUDCLNT_STREAMFLAGS_EVENTCALLBACK,
                                 100000, 100000, &f.Format, nullptr),
              S_OK);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_EQ(client->SetEventHandle(event), S_OK);
    ComPtr<IAudioCaptureClient> capture;
    ASSERT_EQ(client->GetService(__uuidof(IAudioCaptureClient),
                                 reinterpret_cast<void**>(capture.GetAddressOf())),
              S_OK);
    BYTE* data = nullptr;
    UINT32 frames = 0;
    DWORD flags = 0;
    EXPECT_EQ(capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr), AUDCLNT_S_BUFFER_EMPTY);
    EXPECT_EQ(frames, 0u);
    ASSERT_EQ(client->Start(), S_OK);
    ASSERT_EQ(WaitForSingleObject(event, 10000), WAIT_OBJECT_0);
    ASSERT_EQ(capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr), S_OK);
    EXPECT_EQ(frames, 480u);
    EXPECT_EQ(data[2], sim::CaptureByte(0, 1, 0));
    EXPECT_EQ(capture->ReleaseBuffer(100), AUDCLNT_E_INVALID_SIZE);
    EXPECT_EQ(capture->ReleaseBuffer(frames), S_OK);
    ASSERT_EQ(WaitForSingleObject(event, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 300), static_cast<DWORD>(WAIT_TIMEOUT));
    client->Stop();
    CloseHandle(event);
}

TEST_F(VirtualEndpoints, TheSimDriverTakesItsDeviceFromTheProfile) {
    const std::string path = testing::TempDir() + "virtual_endpoint_profile.ini";
    {
        std::ofstream ini(path);
        ini << "[device]\ncapture = 0\nchannels = 2\nwidths = 16, 24\nrates = 48000, 96000\n"
               "product_id = 0003\n[faults]\nstop_completing_after_ms = 500\n";
    }
    SetEnvironmentVariableA("VELTRANO_SIM_PROFILE", path.c_str());
    SetEnvironmentVariableA("VELTRANO_SIM_RECORD", "C:\\recordings");
    const sim::VirtualAudioConfig config = sim::ConfigFromEnvironment();
    SetEnvironmentVariableA("VELTRANO_SIM_PROFILE", nullptr);
    SetEnvironmentVariableA("VELTRANO_SIM_RECORD", nullptr);
    DeleteFileA(path.c_str());
    EXPECT_TRUE(config.capture.empty());
    ASSERT_EQ(config.render.size(), 1u);
    const sim::VirtualEndpointConfig& render = config.render[0];
    EXPECT_EQ(render.rateMask, 0x14u);
    EXPECT_EQ(render.maxChannels, 2u);
    EXPECT_EQ(render.productId, 0x0003);
    EXPECT_EQ(render.eventsStopAfterMs, 500u);
    ASSERT_EQ(render.containers.size(), 2u);
    EXPECT_EQ(render.containers[1].container, 24);
    EXPECT_EQ(config.recordFolder, "C:\\recordings");

    // The path the driver matches carries the profile's product.
    Configure(config);
    ComPtr<IPropertyStore> store;
    ASSERT_EQ(Endpoint(eRender)->OpenPropertyStore(STGM_READ, &store), S_OK);
    PROPVARIANT value;
    PropVariantInit(&value);
    ASSERT_EQ(store->GetValue(kPathKey, &value), S_OK);
    ASSERT_EQ(value.vt, VT_LPWSTR);
    EXPECT_NE(std::wstring(value.pwszVal).find(L"PID_0003"), std::wstring::npos);
    PropVariantClear(&value);
}

}  // namespace
}  // namespace veltrano::test
