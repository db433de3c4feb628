// The virtual endpoints hold clients to the rules Windows enforces, so the
// driver tests above cannot pass against a lenient model.
#include <audioclient.h>
#include <mmdeviceapi.h>
#include <wrl/client.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/audio/audio_seam.h"
#include "sim/audio/virtual_controls.h"
#include "tools/wavcmp/wav_compare.h"
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
    // The buffer is free once the event says the engine took a period. An
    // event set while this thread was too late to fill the period it
    // announced finds the period just written still queued: wait for the
    // next one, as any client must.
    const auto nextPeriod = [&] {
        for (int wake = 0; wake < 20; ++wake) {
            if (WaitForSingleObject(event, 10000) != WAIT_OBJECT_0) return E_FAIL;
            const HRESULT hr = render->GetBuffer(480, &data);
            if (hr != AUDCLNT_E_BUFFER_TOO_LARGE) return hr;
        }
        return E_FAIL;
    };
    for (int period = 0; period < 5; ++period) {
        ASSERT_EQ(nextPeriod(), S_OK);
        std::memset(data, 0x20 + period, 480 * 4);
        // The fifth is handed over after the stop, so it is held whatever
        // this thread's timing.
        if (period == 4) {
            EXPECT_EQ(client->Stop(), S_OK);
            EXPECT_EQ(client->Stop(), S_FALSE);
        }
        ASSERT_EQ(render->ReleaseBuffer(480, 0), S_OK);
    }
    // The prefill and four periods played; the fifth is still held. A
    // period this thread was too late for went out as logged silence.
    auto recordings = sim::RenderRecordings(0);
    ASSERT_EQ(recordings.size(), 1u);
    ASSERT_EQ(recordings[0].glitches, recordings[0].glitchFrames.size());
    ASSERT_EQ(recordings[0].data.size(), (5u + recordings[0].glitches) * 480 * 4);
    const std::vector<uint8_t> played = WithoutUnderruns(recordings[0]);
    ASSERT_EQ(played.size(), 5u * 480 * 4);
    for (int period = 0; period < 5; ++period) {
        const uint8_t expected = period == 0 ? 0x11 : static_cast<uint8_t>(0x20 + period - 1);
        EXPECT_EQ(played[static_cast<size_t>(period) * 480 * 4], expected);
    }
    // A stopped stream keeps it: started again without Reset, it plays first.
    EXPECT_EQ(render->GetBuffer(480, &data), AUDCLNT_E_BUFFER_TOO_LARGE);
    ASSERT_EQ(client->Start(), S_OK);
    ASSERT_EQ(WaitForSingleObject(event, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(client->Stop(), S_OK);
    recordings = sim::RenderRecordings(0);
    const std::vector<uint8_t> replayed = WithoutUnderruns(recordings[0]);
    ASSERT_GE(replayed.size(), 6u * 480 * 4);
    EXPECT_EQ(replayed[5u * 480 * 4], 0x24);
    // Reset forgets what a stopped stream holds; a fresh buffer is garbage.
    UINT32 padding = 0;
    ASSERT_EQ(client->GetCurrentPadding(&padding), S_OK);
    EXPECT_EQ(padding, 0u);  // the engine took the held period at the restart
    ASSERT_EQ(render->GetBuffer(480, &data), S_OK);
    EXPECT_NE(data[0], 0);
    EXPECT_NE(data[1], 0);
    ASSERT_EQ(render->ReleaseBuffer(480, 0), S_OK);
    EXPECT_EQ(client->Reset(), S_OK);
    ASSERT_EQ(client->GetCurrentPadding(&padding), S_OK);
    EXPECT_EQ(padding, 0u);
    ASSERT_EQ(render->GetBuffer(480, &data), S_OK);
    ASSERT_EQ(render->ReleaseBuffer(480, AUDCLNT_BUFFERFLAGS_SILENT), S_OK);
    CloseHandle(event);
}

// Real time: a period the client does not fill before its boundary plays
// silence and counts as a glitch; a write after ReleaseBuffer is a fault.
TEST_F(VirtualEndpoints, TheClockRunsOnWhenTheClientIsLateAndLateWritesAreCaught) {
    ComPtr<IAudioClient> client = Client(Endpoint(eRender).Get());
    const WAVEFORMATEXTENSIBLE f = Format(48000, 16, 16);
    ASSERT_EQ(client->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE, AUDCLNT_STREAMFLAGS_EVENTCALLBACK,
                                 100000, 100000, &f.Format, nullptr),
              S_OK);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_EQ(client->SetEventHandle(event), S_OK);
    ComPtr<IAudioRenderClient> render;
    ASSERT_EQ(client->GetService(__uuidof(IAudioRenderClient),
                                 reinterpret_cast<void**>(render.GetAddressOf())),
              S_OK);
    ComPtr<IAudioClock> clock;
    ASSERT_EQ(client->GetService(__uuidof(IAudioClock),
                                 reinterpret_cast<void**>(clock.GetAddressOf())),
              S_OK);
    BYTE* data = nullptr;
    ASSERT_EQ(render->GetBuffer(480, &data), S_OK);
    std::memset(data, 0x11, 480 * 4);
    ASSERT_EQ(render->ReleaseBuffer(480, 0), S_OK);
    data[7] = 0x99;  // after the hand-over
    ASSERT_EQ(client->Start(), S_OK);
    // Nothing written for the next periods: the device plays silence.
    Sleep(60);
    while (sim::EndpointPeriods(true, 0) < 4) Sleep(5);
    UINT64 frequency = 0, position = 0;
    ASSERT_EQ(clock->GetFrequency(&frequency), S_OK);
    ASSERT_EQ(clock->GetPosition(&position, nullptr), S_OK);
    EXPECT_EQ(frequency, 48000u * 4);
    EXPECT_GE(position / 4, 3u * 480);  // the clock ran on without data
    EXPECT_EQ(client->Stop(), S_OK);
    const auto recordings = sim::RenderRecordings(0);
    ASSERT_EQ(recordings.size(), 1u);
    const sim::RenderRecording& r = recordings[0];
    EXPECT_GE(r.glitches, 3u);
    ASSERT_GE(r.glitchFrames.size(), 3u);
    EXPECT_EQ(r.glitchFrames[0], 480u);
    // Caught, counted at the period it fell in; the recording keeps what
    // was released.
    EXPECT_EQ(r.lateWrites, 1u);
    EXPECT_EQ(r.overwrites, 1u);
    ASSERT_EQ(r.overwriteFrames.size(), 1u);
    EXPECT_EQ(r.overwriteFrames[0], 0u);
    EXPECT_EQ(r.data[7], 0x11);
    ASSERT_GE(r.data.size(), 4u * 480 * 4);
    EXPECT_EQ(r.data[0], 0x11);
    for (size_t i = 480 * 4; i < 4 * 480 * 4; ++i) ASSERT_EQ(r.data[i], 0) << i;
    CloseHandle(event);
}

// Unplugged, the device answers every call with AUDCLNT_E_DEVICE_INVALIDATED
// and signals a waiting client once more so it finds out.
TEST_F(VirtualEndpoints, AnUnpluggedDeviceInvalidatesEveryCall) {
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
    ASSERT_EQ(client->Start(), S_OK);
    ASSERT_EQ(WaitForSingleObject(event, 10000), WAIT_OBJECT_0);
    sim::UnplugVirtualDevice();
    Sleep(100);  // several boundaries: the engine signalled once more and ended
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    BYTE* data = nullptr;
    UINT32 frames = 0;
    DWORD flags = 0;
    EXPECT_EQ(capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr),
              AUDCLNT_E_DEVICE_INVALIDATED);
    UINT32 padding = 0;
    EXPECT_EQ(client->GetCurrentPadding(&padding), AUDCLNT_E_DEVICE_INVALIDATED);
    EXPECT_EQ(client->Stop(), AUDCLNT_E_DEVICE_INVALIDATED);
    EXPECT_EQ(client->Reset(), AUDCLNT_E_DEVICE_INVALIDATED);
    EXPECT_EQ(client->Start(), AUDCLNT_E_DEVICE_INVALIDATED);
    EXPECT_EQ(WaitForSingleObject(event, 100), static_cast<DWORD>(WAIT_TIMEOUT));
    CloseHandle(event);
}

// A misaligned size is refused, and GetBufferSize then names the aligned one
// the client must initialise a fresh client with.
TEST_F(VirtualEndpoints, AMisalignedBufferNamesTheAlignedSize) {
    sim::VirtualAudioConfig config;
    config.render[0].alignmentBytes = 128;
    Configure(config);
    ComPtr<IAudioClient> client = Client(Endpoint(eRender).Get());
    const WAVEFORMATEXTENSIBLE f = Format(44100, 24, 24);
    const REFERENCE_TIME period = 441 * 10000000LL / 44100;
    ASSERT_EQ(client->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE, AUDCLNT_STREAMFLAGS_EVENTCALLBACK,
                                 period, period, &f.Format, nullptr),
              AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED);
    UINT32 aligned = 0;
    ASSERT_EQ(client->GetBufferSize(&aligned), S_OK);
    EXPECT_EQ(aligned, 448u);  // 6-byte frames: multiples of 64 frames
    ComPtr<IAudioClient> retry = Client(Endpoint(eRender).Get());
    const REFERENCE_TIME alignedPeriod = aligned * 10000000LL / 44100;
    ASSERT_EQ(retry->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE, AUDCLNT_STREAMFLAGS_EVENTCALLBACK,
                                alignedPeriod, alignedPeriod, &f.Format, nullptr),
              S_OK);
    UINT32 frames = 0;
    ASSERT_EQ(retry->GetBufferSize(&frames), S_OK);
    EXPECT_EQ(frames, aligned);
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
    // A period's frames (the first, or a later one if this thread was late
    // and the engine moved on), both channels from the same frame.
    const int64_t first = sim::CaptureFrameOf(data, 2, 0);
    ASSERT_GE(first, 0);
    EXPECT_EQ(first % 480, 0);
    EXPECT_EQ(data[2], sim::CaptureByte(static_cast<uint64_t>(first), 1, 0));
    EXPECT_EQ(capture->ReleaseBuffer(100), AUDCLNT_E_INVALID_SIZE);
    EXPECT_EQ(capture->ReleaseBuffer(frames), S_OK);
    Sleep(100);  // ten periods: the engine signalled twice, then went silent
    WaitForSingleObject(event, 0);
    EXPECT_EQ(WaitForSingleObject(event, 100), static_cast<DWORD>(WAIT_TIMEOUT));
    client->Stop();
    CloseHandle(event);
}

// At a period that is no whole number of 100 ns (89 frames at 44100 Hz is
// 20181.4 units) an underrun is logged with the frames the device really
// played as silence, so the comparison cuts exactly those and the stream
// matches what the client wrote; a stream that never played leaves no file.
// The engine stamps a capture packet with the time its first frame was
// recorded and the render position with the time that position was played,
// not with the time either was read: read late, the stamps still differ by
// exactly the device time between the positions. Capture with and without a
// phase of its own.
TEST_F(VirtualEndpoints, PacketsAndPositionsCarryTheirDeviceTimes) {
    for (const int64_t phase : {int64_t{0}, int64_t{50000}}) {
        SCOPED_TRACE(phase);
        sim::VirtualAudioConfig config;
        config.capture[0].capturePhase = phase;
        Configure(config);
        const WAVEFORMATEXTENSIBLE f = Format(48000, 16, 16);
        ComPtr<IAudioClient> in = Client(Endpoint(eCapture).Get());
        ComPtr<IAudioClient> out = Client(Endpoint(eRender).Get());
        HANDLE events[2] = {CreateEventA(nullptr, FALSE, FALSE, nullptr),
                            CreateEventA(nullptr, FALSE, FALSE, nullptr)};
        ComPtr<IAudioCaptureClient> capture;
        ComPtr<IAudioClock> clock;
        for (IAudioClient* client : {in.Get(), out.Get()}) {
            ASSERT_EQ(client->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE,
                                         AUDCLNT_STREAMFLAGS_EVENTCALLBACK, 100000, 100000,
                                         &f.Format, nullptr),
                      S_OK);
            ASSERT_EQ(client->SetEventHandle(events[client == out.Get()]), S_OK);
        }
        ASSERT_EQ(in->GetService(__uuidof(IAudioCaptureClient),
                                 reinterpret_cast<void**>(capture.GetAddressOf())),
                  S_OK);
        ASSERT_EQ(out->GetService(__uuidof(IAudioClock),
                                  reinterpret_cast<void**>(clock.GetAddressOf())),
                  S_OK);
        ComPtr<IAudioRenderClient> render;  // a render stream plays once it has one
        ASSERT_EQ(out->GetService(__uuidof(IAudioRenderClient),
                                  reinterpret_cast<void**>(render.GetAddressOf())),
                  S_OK);
        UINT64 frequency = 0;
        ASSERT_EQ(clock->GetFrequency(&frequency), S_OK);
        ASSERT_EQ(in->Start(), S_OK);
        ASSERT_EQ(out->Start(), S_OK);
        UINT64 positions[2] = {}, stamps[2] = {}, played[2] = {}, playedAt[2] = {};
        for (int i = 0; i < 2; ++i) {
            ASSERT_EQ(WaitForSingleObject(events[0], 10000), WAIT_OBJECT_0);
            if (i == 1) Sleep(35);  // read late: the engine moved on meanwhile
            BYTE* data = nullptr;
            UINT32 frames = 0;
            DWORD flags = 0;
            ASSERT_EQ(capture->GetBuffer(&data, &frames, &flags, &positions[i], &stamps[i]), S_OK);
            ASSERT_EQ(capture->ReleaseBuffer(frames), S_OK);
            ASSERT_EQ(clock->GetPosition(&played[i], &playedAt[i]), S_OK);
        }
        in->Stop();
        out->Stop();
        for (HANDLE event : events) CloseHandle(event);
        ASSERT_GT(positions[1], positions[0]);
        const auto captureSpan = static_cast<int64_t>((positions[1] - positions[0]) * 10000000 / 48000);
        EXPECT_LE(std::llabs(static_cast<int64_t>(stamps[1] - stamps[0]) - captureSpan), 2);
        ASSERT_GT(played[1], played[0]);
        const auto renderSpan = static_cast<int64_t>((played[1] - played[0]) * 10000000 / frequency);
        EXPECT_LE(std::llabs(static_cast<int64_t>(playedAt[1] - playedAt[0]) - renderSpan), 2);
        // The capture clock was started first: its start (its first frame's
        // time, less its position) lies its phase after the render clock's,
        // less the time between the two Start calls.
        const auto captureStart = static_cast<int64_t>(stamps[0]) -
                                  static_cast<int64_t>(positions[0] * 10000000 / 48000);
        const auto renderStart = static_cast<int64_t>(playedAt[0]) -
                                 static_cast<int64_t>(played[0] * 10000000 / frequency);
        EXPECT_LE(captureStart - renderStart, phase + 2);
        EXPECT_GE(captureStart - renderStart, phase - 1000000);
    }
}

TEST_F(VirtualEndpoints, UnderrunsAreLoggedAsInsertedAndSilentStreamsLeaveNoFile) {
    const std::string folder = testing::TempDir() + "underrun_log";
    // Empty before and after, whatever an earlier run left.
    struct Folder {
        std::string path;
        void Empty() const {
            WIN32_FIND_DATAA entry;
            HANDLE all = FindFirstFileA((path + "\\*.*").c_str(), &entry);
            if (all == INVALID_HANDLE_VALUE) return;
            do {
                DeleteFileA((path + "\\" + entry.cFileName).c_str());
            } while (FindNextFileA(all, &entry));
            FindClose(all);
        }
        ~Folder() {
            Empty();
            RemoveDirectoryA(path.c_str());
        }
    } cleanup{folder};
    CreateDirectoryA(folder.c_str(), nullptr);
    cleanup.Empty();
    sim::VirtualAudioConfig config;
    config.recordFolder = folder;
    Configure(config);
    constexpr UINT32 kFrames = 89;
    const REFERENCE_TIME period = kFrames * 10000000LL / 44100;
    const WAVEFORMATEXTENSIBLE f = Format(44100, 16, 16);
    std::vector<uint8_t> played;
    {
        ComPtr<IAudioClient> unused = Client(Endpoint(eRender).Get());
        ComPtr<IAudioRenderClient> never;
        ASSERT_EQ(unused->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE, AUDCLNT_STREAMFLAGS_EVENTCALLBACK,
                                     period, period, &f.Format, nullptr),
                  S_OK);
        ASSERT_EQ(unused->GetService(__uuidof(IAudioRenderClient),
                                     reinterpret_cast<void**>(never.GetAddressOf())),
                  S_OK);
    }
    {
        ComPtr<IAudioClient> client = Client(Endpoint(eRender).Get());
        ASSERT_EQ(client->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE, AUDCLNT_STREAMFLAGS_EVENTCALLBACK,
                                     period, period, &f.Format, nullptr),
                  S_OK);
        UINT32 frames = 0;
        ASSERT_EQ(client->GetBufferSize(&frames), S_OK);
        ASSERT_EQ(frames, kFrames);
        HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        ASSERT_EQ(client->SetEventHandle(event), S_OK);
        ComPtr<IAudioRenderClient> render;
        ASSERT_EQ(client->GetService(__uuidof(IAudioRenderClient),
                                     reinterpret_cast<void**>(render.GetAddressOf())),
                  S_OK);
        uint16_t sample = 1;
        auto write = [&] {
            BYTE* data = nullptr;
            if (render->GetBuffer(kFrames, &data) != S_OK) return;
            for (UINT32 i = 0; i < kFrames * 2; ++i, ++sample) std::memcpy(data + 2 * i, &sample, 2);
            played.insert(played.end(), data, data + kFrames * 4);
            ASSERT_EQ(render->ReleaseBuffer(kFrames, 0), S_OK);
        };
        write();
        ASSERT_EQ(client->Start(), S_OK);
        for (int n = 1; n <= 60; ++n) {
            ASSERT_EQ(WaitForSingleObject(event, 10000), WAIT_OBJECT_0);
            if (n % 10 == 0) continue;  // the next period starves
            write();
        }
        EXPECT_EQ(client->Stop(), S_OK);
        CloseHandle(event);
    }
    // One file, the played stream's (the largest, should the other be there).
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*.wav").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    std::string wav;
    DWORD largest = 0;
    int files = 0;
    do {
        ++files;
        if (found.nFileSizeLow < largest) continue;
        largest = found.nFileSizeLow;
        wav = folder + "\\" + found.cFileName;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    EXPECT_EQ(files, 1);

    wavcmp::WavData recorded;
    std::string error;
    ASSERT_TRUE(wavcmp::ReadWavFile(wav, recorded, error)) << error;
    std::ifstream sidecar(wavcmp::GlitchLog::SidecarPath(wav), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(sidecar)), {});
    wavcmp::GlitchLog log;
    ASSERT_TRUE(wavcmp::GlitchLog::Parse(text, log)) << text;
    EXPECT_GE(log.UnderrunCount(), 5u);
    for (const wavcmp::Glitch& g : log.Underruns()) EXPECT_EQ(g.frames, kFrames) << g.frame;
    wavcmp::WavData source = recorded;
    source.data = played;
    wavcmp::CompareOptions options;
    options.silentGaps = log.Underruns();
    options.maxMissingFrames = 2 * kFrames;  // released, not yet played at the stop
    const wavcmp::CompareResult result = wavcmp::CompareRecording(source, recorded, options);
    EXPECT_TRUE(result.match) << result.message;

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
