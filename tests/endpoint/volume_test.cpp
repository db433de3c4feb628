// Volume and mute through the topology parts, and the Player's messages:
// changes by anyone (this program, the Windows mixer) and endpoints coming
// back reach the main window's queue from the audio service's thread.

#include <atomic>
#include <thread>

#include "cpl/common/cpl_messages.h"
#include "cpl/endpoint/endpoint_keys.h"
#include "endpoint/endpoint_fixture.h"

namespace veltrano::test {
namespace {

using cpl::kCapture;
using cpl::kRender;
using cpl::WM_CPL_DEVICE_ACTIVE;
using cpl::WM_CPL_VOLUME_CHANGED;

struct Volume {
    float left = 99, right = 99, maximum = 99, minimum = 99, step = 99;
};

float Level(bool render, size_t index, uint32_t channel) {
    float level = 99;
    EXPECT_TRUE(sim::EndpointLevel(render, index, channel, &level));
    return level;
}

TEST_F(EndpointTest, PlaybackVolumeReadsAndWritesPerChannelClampedToTheRange) {
    auto set = MakeSet(10);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    Volume v;
    ASSERT_EQ(set->GetPlaybackVolume(&v.left, &v.right, &v.maximum, &v.minimum, &v.step), S_OK);
    EXPECT_FLOAT_EQ(v.left, -20.0f);
    EXPECT_FLOAT_EQ(v.right, -20.0f);
    EXPECT_FLOAT_EQ(v.maximum, 0.0f);
    EXPECT_FLOAT_EQ(v.minimum, -127.0f);
    EXPECT_FLOAT_EQ(v.step, 0.5f);

    ASSERT_EQ(set->SetPlaybackVolume(-30.5f, -10.0f), S_OK);
    EXPECT_FLOAT_EQ(Level(true, 0, 0), -30.5f);
    EXPECT_FLOAT_EQ(Level(true, 0, 1), -10.0f);
    EXPECT_FLOAT_EQ(set->RenderRecord(0)->levels[0][0].currentDb, -30.5f);

    // Beyond the range: the ends are written, never refused.
    ASSERT_EQ(set->SetPlaybackVolume(6.0f, -300.0f), S_OK);
    EXPECT_FLOAT_EQ(Level(true, 0, 0), 0.0f);
    EXPECT_FLOAT_EQ(Level(true, 0, 1), -127.0f);
    ASSERT_EQ(set->GetPlaybackVolume(&v.left, &v.right, &v.maximum, &v.minimum, &v.step), S_OK);
    EXPECT_FLOAT_EQ(v.left, 0.0f);
    EXPECT_FLOAT_EQ(v.right, -127.0f);
}

TEST_F(EndpointTest, SetLevelCheckedRefusesALevelOutsideTheCurrentRange) {
    auto set = MakeSet(10);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    IAudioVolumeLevel* part = set->RenderRecord(0)->volumeParts[0].Get();
    EXPECT_EQ(cpl::AudioEndpointSet::SetLevelChecked(part, 0, 0.5f), E_FAIL);
    EXPECT_EQ(cpl::AudioEndpointSet::SetLevelChecked(part, 0, -127.5f), E_FAIL);
    EXPECT_EQ(cpl::AudioEndpointSet::SetLevelChecked(part, 2, -10.0f), E_INVALIDARG);
    EXPECT_FLOAT_EQ(Level(true, 0, 0), -20.0f);
    // The device itself refuses what is outside its range.
    EXPECT_EQ(part->SetLevel(0, 1.0f, nullptr), E_INVALIDARG);
    EXPECT_EQ(cpl::AudioEndpointSet::SetLevelChecked(part, 1, -127.0f), S_OK);
    EXPECT_FLOAT_EQ(Level(true, 0, 1), -127.0f);
}

TEST_F(EndpointTest, WithoutAVolumePartVolumeCallsWriteNothing) {
    sim::VirtualAudioConfig config;
    config.capture = {sim::MicrophoneEndpoint()};
    config.render[0].control.noVolumePart = true;
    Configure(config);
    auto set = MakeSet(10);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    Volume v;
    EXPECT_EQ(set->GetPlaybackVolume(&v.left, &v.right, &v.maximum, &v.minimum, &v.step), S_OK);
    EXPECT_FLOAT_EQ(v.left, 99.0f);
    EXPECT_EQ(set->SetPlaybackVolume(-5, -5), S_OK);
    EXPECT_FLOAT_EQ(Level(true, 0, 0), -20.0f);
    EXPECT_EQ(set->GetRecordVolume(0, &v.left, &v.right, &v.maximum, &v.minimum, &v.step), S_OK);
    EXPECT_FLOAT_EQ(v.right, 99.0f);
    EXPECT_EQ(set->SetRecordVolume(0, -5, -5), S_OK);
    EXPECT_FLOAT_EQ(Level(false, 0, 0), -20.0f);
    // The microphone still mutes.
    EXPECT_EQ(set->SetRecordMute(0, TRUE), S_OK);
    bool muted = false;
    ASSERT_TRUE(sim::EndpointMute(false, 0, &muted));
    EXPECT_TRUE(muted);
    EXPECT_EQ(set->SetRecordVolume(1, -5, -5), E_FAIL);
    EXPECT_EQ(set->GetRecordVolume(0, nullptr, &v.right, &v.maximum, &v.minimum, &v.step), E_FAIL);
}

TEST_F(EndpointTest, AChannelWhoseRangeCouldNotBeReadIsNeverWritten) {
    sim::VirtualAudioConfig config;
    config.render[0].control.unreadableLevelChannel = 0;
    Configure(config);
    auto set = MakeSet(10);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    EXPECT_EQ(set->RenderRecord(0)->channelCount[0], 0u);
    // An empty level table would clamp everything to 0 dB: full volume.
    EXPECT_EQ(set->SetPlaybackVolume(-40, -40), S_OK);
    EXPECT_FLOAT_EQ(Level(true, 0, 0), -20.0f);
    EXPECT_FLOAT_EQ(Level(true, 0, 1), -20.0f);
    Volume v;
    EXPECT_TRUE(FAILED(set->GetPlaybackVolume(&v.left, &v.right, &v.maximum, &v.minimum, &v.step)));
    EXPECT_FLOAT_EQ(v.left, 99.0f);
}

TEST_F(EndpointTest, MuteRoundTripsAndFollowsTheMixer) {
    auto set = MakeSet(10);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    BOOL mute = 7;
    ASSERT_EQ(set->GetPlaybackMute(&mute), S_OK);
    EXPECT_EQ(mute, FALSE);
    ASSERT_EQ(set->SetPlaybackMute(5), S_OK);  // any non-zero is on
    bool muted = false;
    ASSERT_TRUE(sim::EndpointMute(true, 0, &muted));
    EXPECT_TRUE(muted);
    EXPECT_EQ(set->RenderRecord(0)->cachedMute, TRUE);
    ASSERT_EQ(set->GetPlaybackMute(&mute), S_OK);
    EXPECT_EQ(mute, TRUE);

    ASSERT_TRUE(sim::SetMuteAsMixer(true, 0, false));
    ASSERT_EQ(set->GetPlaybackMute(&mute), S_OK);
    EXPECT_EQ(mute, FALSE);
    EXPECT_EQ(set->RenderRecord(0)->cachedMute, FALSE);

    ASSERT_EQ(set->SetRecordMute(0, TRUE), S_OK);
    ASSERT_EQ(set->GetRecordMute(0, &mute), S_OK);
    EXPECT_EQ(mute, TRUE);
    EXPECT_EQ(set->GetRecordMute(0, nullptr), E_FAIL);
    EXPECT_EQ(set->GetRecordMute(3, &mute), E_FAIL);
}

TEST_F(EndpointTest, WithoutAMutePartMuteFails) {
    sim::VirtualAudioConfig config;
    config.render[0].control.noMutePart = true;
    Configure(config);
    auto set = MakeSet(10);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    BOOL mute = FALSE;
    EXPECT_EQ(set->GetPlaybackMute(&mute), E_FAIL);
    EXPECT_EQ(set->SetPlaybackMute(TRUE), E_FAIL);
}

// Records OnNotify's thread, as an audio-service client sees it.
class ThreadSpy final : public IAudioEndpointVolumeCallback {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown) ||
            IsEqualIID(riid, __uuidof(IAudioEndpointVolumeCallback))) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE OnNotify(PAUDIO_VOLUME_NOTIFICATION_DATA data) override {
        thread = GetCurrentThreadId();
        muted = data->bMuted;
        ++calls;
        return S_OK;
    }
    std::atomic<ULONG> refs{1};
    std::atomic<DWORD> thread{0};
    std::atomic<BOOL> muted{FALSE};
    std::atomic<int> calls{0};
};

TEST_F(EndpointTest, VolumeChangesPostToTheWindowFromAnotherThread) {
    auto set = MakeSet(10);
    ASSERT_EQ(ProbeFirst(*set), S_OK);

    // The mixer moves the playback volume.
    ASSERT_TRUE(sim::SetLevelAsMixer(true, 0, 1, -40.0f));
    ASSERT_TRUE(window.WaitFor(WM_CPL_VOLUME_CHANGED, 1));
    Volume v;
    ASSERT_EQ(set->GetPlaybackVolume(&v.left, &v.right, &v.maximum, &v.minimum, &v.step), S_OK);
    EXPECT_FLOAT_EQ(v.right, -40.0f);

    // This program's own change is announced too, and so is the line
    // input's mute.
    ASSERT_EQ(set->SetPlaybackVolume(-12, -12), S_OK);
    ASSERT_TRUE(window.WaitFor(WM_CPL_VOLUME_CHANGED, 3));
    ASSERT_TRUE(sim::SetMuteAsMixer(false, 0, true));
    ASSERT_TRUE(window.WaitFor(WM_CPL_VOLUME_CHANGED, 4));

    // The service calls from a thread of its own.
    Microsoft::WRL::ComPtr<IMMDevice> device;
    ASSERT_EQ(set->GetPlayer()->Item(kRender, 0, &device), S_OK);
    Microsoft::WRL::ComPtr<IAudioEndpointVolume> volume;
    ASSERT_EQ(device->Activate(__uuidof(IAudioEndpointVolume), CLSCTX_INPROC_SERVER, nullptr,
                               reinterpret_cast<void**>(volume.GetAddressOf())),
              S_OK);
    ThreadSpy spy;
    ASSERT_EQ(volume->RegisterControlChangeNotify(&spy), S_OK);
    ASSERT_EQ(volume->SetMute(TRUE, nullptr), S_OK);
    sim::WaitForVirtualNotifications();
    EXPECT_EQ(spy.calls, 1);
    EXPECT_NE(spy.thread, 0u);
    EXPECT_NE(spy.thread, GetCurrentThreadId());
    EXPECT_EQ(spy.muted, TRUE);
    ASSERT_EQ(volume->UnregisterControlChangeNotify(&spy), S_OK);
    EXPECT_EQ(spy.refs, 1u);
    ASSERT_TRUE(window.WaitFor(WM_CPL_VOLUME_CHANGED, 5));
}

// Waits, without pumping this thread's messages, until the service has
// delivered everything queued so far. False when it could not finish while
// this thread was not pumping (a notification waiting for the UI thread);
// it is then let finish, so the test goes on.
bool DeliveredWithoutPumping(MessageWindow& window) {
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (done == nullptr) return false;
    std::thread waiter([done] {
        sim::WaitForVirtualNotifications();
        SetEvent(done);
    });
    const bool delivered = WaitForSingleObject(done, 5000) == WAIT_OBJECT_0;
    while (WaitForSingleObject(done, 0) != WAIT_OBJECT_0) {
        window.Drain();
        MsgWaitForMultipleObjects(1, &done, FALSE, 100, QS_ALLINPUT);
    }
    waiter.join();
    CloseHandle(done);
    return delivered;
}

// The service's thread posts and goes on; it never waits for the UI thread.
// Here the UI thread does not pump until every notification was delivered,
// and the messages are then waiting in its queue, addressed to the window,
// once per change.
TEST_F(EndpointTest, NotificationsWaitInTheWindowsQueueWhileTheUiThreadIsBusy) {
    auto set = MakeSet(10);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    window.Drain();
    ASSERT_TRUE(sim::SetLevelAsMixer(true, 0, 0, -33.0f));
    ASSERT_TRUE(sim::UnplugEndpoint(false, 0));
    ASSERT_TRUE(sim::PlugEndpoint(false, 0));
    ASSERT_TRUE(DeliveredWithoutPumping(window));

    MSG msg{};
    ASSERT_TRUE(
        PeekMessageA(&msg, window.get(), WM_CPL_VOLUME_CHANGED, WM_CPL_VOLUME_CHANGED, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, window.get());
    EXPECT_EQ(msg.wParam, 0u);
    EXPECT_EQ(msg.lParam, 0);
    EXPECT_FALSE(
        PeekMessageA(&msg, window.get(), WM_CPL_VOLUME_CHANGED, WM_CPL_VOLUME_CHANGED, PM_REMOVE));
    ASSERT_TRUE(
        PeekMessageA(&msg, window.get(), WM_CPL_DEVICE_ACTIVE, WM_CPL_DEVICE_ACTIVE, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, window.get());
    EXPECT_FALSE(
        PeekMessageA(&msg, window.get(), WM_CPL_DEVICE_ACTIVE, WM_CPL_DEVICE_ACTIVE, PM_REMOVE));
    // Nothing reached the window procedure behind the queue's back.
    EXPECT_EQ(window.Count(WM_CPL_VOLUME_CHANGED), 0);
    EXPECT_EQ(window.Count(WM_CPL_DEVICE_ACTIVE), 0);
}

TEST_F(EndpointTest, AfterResetVolumeChangesPostNothing) {
    auto set = MakeSet(10);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    set->Reset();
    ASSERT_TRUE(sim::SetLevelAsMixer(true, 0, 0, -50.0f));
    ASSERT_TRUE(sim::SetMuteAsMixer(false, 0, true));
    sim::WaitForVirtualNotifications();
    window.Drain();
    EXPECT_EQ(window.Count(WM_CPL_VOLUME_CHANGED), 0);
}

// The mixer keeps moving the volume on another thread while the panel
// probes and resets over and over: registrations come and go under the
// service's feet, and at the end nothing is registered or held.
TEST_F(EndpointTest, ProbeAndResetWhileTheMixerMovesTheVolume) {
    auto set = MakeSet(10);
    ASSERT_EQ(set->GetPlayer()->EnumerateEndpoints(kRender), S_OK);
    ASSERT_EQ(set->GetPlayer()->EnumerateEndpoints(kCapture), S_OK);
    sim::WaitForVirtualNotifications();
    const long baseline = sim::LiveVirtualObjects();

    // A user dragging the mixer's slider: a few hundred changes, about one
    // per millisecond.
    constexpr int kMoves = 300;
    std::atomic<bool> mixerDone{false};
    std::atomic<int> moves{0};
    std::thread mixer([&] {
        for (int i = 0; i < kMoves; ++i) {
            if (sim::SetLevelAsMixer(true, 0, i & 1, -1.0f * static_cast<float>(i % 100)) &&
                sim::SetMuteAsMixer(false, 0, (i & 1) != 0)) {
                ++moves;
            }
            Sleep(1);
        }
        mixerDone = true;
    });
    for (int round = 0; round < 20 || !mixerDone; ++round) {
        EXPECT_EQ(ProbeFirst(*set), S_OK) << round;
        window.Drain();
        set->Reset();
    }
    mixer.join();
    EXPECT_EQ(moves, kMoves);
    sim::WaitForVirtualNotifications();
    window.Drain();
    EXPECT_EQ(sim::RegisteredVolumeCallbacks(), 0u);
    EXPECT_EQ(sim::LiveVirtualObjects(), baseline);
    EXPECT_EQ(set->GetPlayer()->AddRef(), 2u);
    EXPECT_EQ(set->GetPlayer()->Release(), 1u);

    // Nothing arrives any more.
    const int before = window.Count(WM_CPL_VOLUME_CHANGED);
    ASSERT_TRUE(sim::SetLevelAsMixer(true, 0, 0, -7.0f));
    sim::WaitForVirtualNotifications();
    window.Drain();
    EXPECT_EQ(window.Count(WM_CPL_VOLUME_CHANGED), before);
}

TEST_F(EndpointTest, AnEndpointComingBackPostsDeviceActiveAndIsFoundAgain) {
    auto set = MakeSet(10);
    ASSERT_EQ(ProbeFirst(*set), S_OK);

    ASSERT_TRUE(sim::UnplugEndpoint(true, 0));
    sim::WaitForVirtualNotifications();
    window.Drain();
    EXPECT_EQ(window.Count(WM_CPL_DEVICE_ACTIVE), 0);
    // Its parts answer as a removed device's do.
    Volume v;
    EXPECT_TRUE(FAILED(set->GetPlaybackVolume(&v.left, &v.right, &v.maximum, &v.minimum, &v.step)));
    EXPECT_TRUE(FAILED(set->SetPlaybackMute(TRUE)));
    set->Reset();
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    EXPECT_EQ(playback, 0);
    EXPECT_EQ(record, 1);

    ASSERT_TRUE(sim::PlugEndpoint(true, 0));
    ASSERT_TRUE(window.WaitFor(WM_CPL_DEVICE_ACTIVE, 1));
    set->Reset();
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    EXPECT_EQ(playback, 1);

    // An unrelated endpoint coming back is announced as well.
    ASSERT_TRUE(sim::UnplugEndpoint(false, 0));
    ASSERT_TRUE(sim::PlugEndpoint(false, 0));
    ASSERT_TRUE(window.WaitFor(WM_CPL_DEVICE_ACTIVE, 2));
}

TEST(Player, OneObjectWithTwoInterfacesAndOneCount) {
    sim::ConfigureVirtualAudio(sim::VirtualAudioConfig{});
    cpl::Player* player = cpl::Player::Create(nullptr);
    ASSERT_NE(player, nullptr);
    EXPECT_TRUE(player->HasEnumerator());
    EXPECT_TRUE(player->EndpointCallbackRegistered());
    EXPECT_EQ(sim::RegisteredNotificationClients(), 1u);

    void* unknown = nullptr;
    void* client = nullptr;
    void* callback = nullptr;
    ASSERT_EQ(player->QueryInterface(IID_IUnknown, &unknown), S_OK);
    ASSERT_EQ(player->QueryInterface(__uuidof(IMMNotificationClient), &client), S_OK);
    ASSERT_EQ(player->QueryInterface(__uuidof(IAudioEndpointVolumeCallback), &callback), S_OK);
    EXPECT_EQ(unknown, client);
    EXPECT_EQ(callback, static_cast<IAudioEndpointVolumeCallback*>(player));
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(player->QueryInterface(__uuidof(IMMDevice), &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);

    // Four references now; releasing through either interface counts down
    // the same count.
    EXPECT_EQ(static_cast<IAudioEndpointVolumeCallback*>(callback)->Release(), 3u);
    EXPECT_EQ(static_cast<IMMNotificationClient*>(client)->Release(), 2u);
    EXPECT_EQ(static_cast<IUnknown*>(unknown)->AddRef(), 3u);
    EXPECT_EQ(static_cast<IUnknown*>(unknown)->Release(), 2u);
    EXPECT_EQ(static_cast<IUnknown*>(unknown)->Release(), 1u);

    // Without a window the notifications post nothing and still succeed.
    EXPECT_EQ(player->OnDeviceStateChanged(L"x", DEVICE_STATE_ACTIVE), S_OK);
    EXPECT_EQ(player->OnNotify(nullptr), S_OK);
    EXPECT_EQ(player->EnumerateEndpoints(2), E_FAIL);
    EXPECT_EQ(player->RegisterVolumeNotification(0, 2), E_FAIL);
    EXPECT_EQ(player->Release(), 0u);
    EXPECT_EQ(sim::RegisteredNotificationClients(), 0u);
    EXPECT_EQ(sim::LiveVirtualObjects(), 0);
}

TEST_F(EndpointTest, OnlyTheActiveStatePostsDeviceActive) {
    auto set = MakeSet(10);
    cpl::Player* player = set->GetPlayer();
    for (DWORD state : {DEVICE_STATE_DISABLED, DEVICE_STATE_NOTPRESENT, DEVICE_STATE_UNPLUGGED}) {
        EXPECT_EQ(player->OnDeviceStateChanged(L"{0.0.0.00000000}.{x}", state), S_OK);
    }
    EXPECT_EQ(player->OnDeviceAdded(L"x"), S_OK);
    EXPECT_EQ(player->OnDeviceRemoved(L"x"), S_OK);
    window.Drain();
    EXPECT_EQ(window.Count(WM_CPL_DEVICE_ACTIVE), 0);
    EXPECT_EQ(player->OnDeviceStateChanged(L"x", DEVICE_STATE_ACTIVE), S_OK);
    EXPECT_TRUE(window.WaitFor(WM_CPL_DEVICE_ACTIVE, 1, 100));
}

}  // namespace
}  // namespace veltrano::test
