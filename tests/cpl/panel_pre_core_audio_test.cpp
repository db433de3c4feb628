// The control panel on a Windows without core audio (XP): no endpoint
// sections at all, the ASIO section only while the device's kernel-streaming
// filter is there, and after an arrival whose audio function starts late,
// a presence retry on each poll tick for at most 60 ticks.

#include <gtest/gtest.h>
#include <windows.h>

#include "cpl/app/panel_tables.h"
#include "cpl/common/cpl_messages.h"
#include "cpl/panel_harness.h"
#include "sim/audio/virtual_audio.h"
#include "sim/devchange/device_change.h"
#include "sim/os/os_pretend.h"
#include "sim/sim.h"
#include "support/user_settings.h"

namespace veltrano::cpl::test {
namespace {

namespace vs = veltrano::sim;

class PreCoreAudioPanel : public ::testing::Test {
protected:
    void SetUp() override {
        // Windows XP Professional, 32-bit.
        OsVersionFacts xp;
        xp.major = 5;
        xp.minor = 1;
        xp.build = 2600;
        xp.processorArchitecture = 0;
        FreshVirtualSystem(xp);
        // Even with the endpoint sections switched on: XP has no endpoints.
        SetSwitches(1, 1, 0);
        CTarvoACPLUIDlg::SetSettleDelayMs(2000);
    }
    void TearDown() override {
        ::sim::StartAudioFunction();
        if (!::sim::DevicePlugged()) ::sim::PlugDevice();
        SetSwitches(-1, -1, -1);
        veltrano::test::DeleteSettings();
        ::sim::StopPretendingOs();
    }
};

// The ASIO section as a user sees it, and the endpoint sections never.
void ExpectSections(PanelWindow& w, bool asio) {
    EXPECT_EQ(w.Dialog().AsioSection() != nullptr, asio);
    for (int i = 1; i < kAsioBufferCount; ++i) {
        EXPECT_EQ(w.Visible(kAsioBufferButtons[i]), asio) << kAsioBufferButtons[i];
    }
    EXPECT_EQ(w.Visible("TXT_ASIOSTATE"), asio);
    EXPECT_EQ(w.Visible("TXT_ASIODEVICE"), asio);
    EXPECT_EQ(w.Visible("BTN_ASIO_16B"), asio);
    EXPECT_EQ(w.Dialog().PlaybackSection(), nullptr);
    EXPECT_EQ(w.Dialog().RecordSection(), nullptr);
    for (const char* name : kPlayRateButtons) EXPECT_FALSE(w.Visible(name)) << name;
    for (const char* name : kRecRateButtons) EXPECT_FALSE(w.Visible(name)) << name;
}

// One poll tick, delivered by the test (the window's own timer stopped), so
// that sixty of them do not take a minute.
void Tick(PanelWindow& w, int count = 1) {
    for (int i = 0; i < count; ++i) SendMessageA(w.Hwnd(), WM_TIMER, TIMER_CPL_POLL, 0);
    w.Pump(10);
}

TEST_F(PreCoreAudioPanel, LateAudioFunctionIsFoundByThePresenceRetryWithinOneTick) {
    PanelWindow w;
    EXPECT_EQ(w.Dialog().Os().kind, 0);
    ExpectSections(w, true);
    EXPECT_EQ(w.LabelText("TXT_ASIOSTATE"), "UNLOAD");
    EXPECT_STREQ(w.Dialog().TrayTip(), "Veltrano-HD");
    w.Shot("panel-pre-core-audio");

    ASSERT_TRUE(::sim::UnplugDevice());
    w.Pump(50);
    EXPECT_STREQ(w.Dialog().TrayTip(), "N/A");
    ExpectSections(w, false);

    // An ordinary arrival: without core audio there is no endpoint
    // activation to wait for; the re-probe runs on the arrival itself,
    // after the settle delay.
    DWORD start = GetTickCount();
    ASSERT_TRUE(::sim::PlugDevice());
    EXPECT_GE(GetTickCount() - start, 2000u);
    ExpectSections(w, true);
    EXPECT_STREQ(w.Dialog().TrayTip(), "Veltrano-HD");

    // The USB device is back before its audio driver has made the filter.
    ASSERT_TRUE(::sim::UnplugDevice());
    w.Pump(50);
    ASSERT_TRUE(::sim::PlugDeviceAudioLater());
    EXPECT_STREQ(w.Dialog().TrayTip(), "Veltrano-HD");
    int ticks = 0;
    EXPECT_FALSE(w.PumpUntil([&] { return w.Dialog().AsioSection() != nullptr; }, 3, &ticks));
    EXPECT_GE(ticks, 3);
    ExpectSections(w, false);
    w.Shot("panel-pre-core-audio-waiting");

    ASSERT_TRUE(::sim::StartAudioFunction());
    EXPECT_TRUE(w.PumpUntil([&] { return w.Dialog().AsioSection() != nullptr; }, 1, &ticks))
        << ticks << " ticks";
    ExpectSections(w, true);
    EXPECT_EQ(w.LabelText("TXT_ASIOSTATE"), "UNLOAD");
    EXPECT_TRUE(w.Latched("BTN_ASIO_BFSZ_10MS"));
    w.Shot("panel-pre-core-audio-found-late");
}

TEST_F(PreCoreAudioPanel, PresenceRetryStopsAfterSixtyTicks) {
    CTarvoACPLUIDlg::SetSettleDelayMs(0);
    PanelWindow w;
    ExpectSections(w, true);
    KillTimer(w.Hwnd(), TIMER_CPL_POLL);

    // The sixtieth tick still looks.
    ASSERT_TRUE(::sim::UnplugDevice());
    ASSERT_TRUE(::sim::PlugDeviceAudioLater());
    Tick(w, 59);
    ExpectSections(w, false);
    ASSERT_TRUE(::sim::StartAudioFunction());
    Tick(w);
    ExpectSections(w, true);

    // After sixty the panel has given up: the filter that comes later is
    // not seen until the next arrival or removal.
    ASSERT_TRUE(::sim::UnplugDevice());
    ASSERT_TRUE(::sim::PlugDeviceAudioLater());
    Tick(w, 60);
    ASSERT_TRUE(::sim::StartAudioFunction());
    Tick(w, 5);
    ExpectSections(w, false);
    EXPECT_STREQ(w.Dialog().TrayTip(), "Veltrano-HD");

    ASSERT_TRUE(::sim::UnplugDevice());
    ASSERT_TRUE(::sim::PlugDevice());
    ExpectSections(w, true);
}

}  // namespace
}  // namespace veltrano::cpl::test
