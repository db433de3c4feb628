// The remote-control page inside the control panel's main window, as the
// program builds it: the section switch brings the page, the user's clicks on
// the skin buttons start and stop the service and open the network settings,
// and datagrams reach the main window.
// Winsock must come before any other Windows header.
// clang-format off
#include "remote_fixture.h"
// clang-format on

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "cpl/app/remote_section.h"
#include "cpl/panel_harness.h"
#include "cpl/remote/rmct_nic_ids.h"
#include "sim/audio/virtual_audio.h"
#include "sim/net/virtual_net.h"
#include "sim/os/os_pretend.h"
#include "sim/sim.h"
#include "support/real_input.h"
#include "support/user_settings.h"

namespace remote_test {
namespace {

namespace vc = veltrano::cpl;
namespace vct = veltrano::cpl::test;

// WM_CPL_REMOTE_PACKETs handed to the main window, seen on their way in.
HWND g_watched = nullptr;
std::atomic<int> g_packets{0};
std::atomic<WPARAM> g_lastSlot{99};

LRESULT CALLBACK WatchPackets(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* m = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && m->hwnd == g_watched &&
        m->message == veltrano::cpl::WM_CPL_REMOTE_PACKET) {
        g_lastSlot = m->wParam;
        ++g_packets;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

bool PortHeld(uint16_t port) {
    UdpSocket probe(INADDR_ANY, port);
    return !probe.valid();
}

class RemotePanel : public ::testing::Test {
protected:
    void SetUp() override {
        veltrano::OsVersionFacts facts;
        facts.major = 10;
        facts.build = 19045;
        facts.processorArchitecture = 9;
        ::sim::PretendOs(facts);
        ::sim::Reset();
        veltrano::sim::ConfigureVirtualAudio(veltrano::sim::VirtualAudioConfig{});
        sim::net::ResetAdapters();
        vc::CTarvoACPLUIDlg::SetSettleDelayMs(2000);
        vc::UseRemoteControlPage();
        ASSERT_FALSE(PortHeld(rmct::kDefaultPort)) << "another program holds the service port";
    }
    void TearDown() override {
        vct::SetSwitches(-1, -1, -1);
        veltrano::test::DeleteSettings();
        sim::net::ResetAdapters();
        ::sim::StopPretendingOs();
        EXPECT_EQ(RmctLiveSessions(), 0);
    }
    WinsockScope winsock;
};

TEST_F(RemotePanel, StartButtonRunsTheServiceForTheMainWindowAndLatchesOnlyWhileItRuns) {
    vct::SetSwitches(1, 1, 1);
    vct::PanelWindow w;
    ASSERT_NE(w.Dialog().RemoteSection(), nullptr);
    EXPECT_TRUE(w.Visible("BTN_RMCT_NETWORK_SET"));
    EXPECT_TRUE(w.Visible("BTN_RMCT_START_SVR"));
    EXPECT_TRUE(w.Visible("TXT_LOCAL_IP"));
    EXPECT_EQ(w.LabelText("TXT_LOCAL_IP"), "127.0.0.1");
    EXPECT_FALSE(w.Visible("TXT_REMOTE_IP"));
    EXPECT_FALSE(w.Latched("BTN_RMCT_START_SVR"));

    g_watched = w.Hwnd();
    g_packets = 0;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, WatchPackets, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);

    w.Click("BTN_RMCT_START_SVR");
    EXPECT_TRUE(w.Latched("BTN_RMCT_START_SVR"));
    EXPECT_TRUE(PortHeld(rmct::kDefaultPort));
    UdpSocket sender(INADDR_LOOPBACK, 0);
    ASSERT_TRUE(sender.SendToLoopback(rmct::kDefaultPort, "remote", 6));
    EXPECT_TRUE(w.PumpUntil([] { return g_packets > 0; }, 20));
    EXPECT_EQ(g_packets, 1);
    EXPECT_EQ(g_lastSlot, 0u);
    w.Shot("remote-panel-running");

    w.Click("BTN_RMCT_START_SVR");
    EXPECT_FALSE(w.Latched("BTN_RMCT_START_SVR"));
    EXPECT_FALSE(PortHeld(rmct::kDefaultPort));
    EXPECT_FALSE(w.Visible("TXT_REMOTE_IP"));
    EXPECT_EQ(RmctLiveSessions(), 0);
    UnhookWindowsHookEx(hook);
    g_watched = nullptr;

    // Another program on the port: the click starts nothing and leaves the
    // button up; once the port is free the next click starts the service.
    {
        UdpSocket holder(INADDR_ANY, rmct::kDefaultPort);
        ASSERT_TRUE(holder.valid());
        w.Click("BTN_RMCT_START_SVR");
        EXPECT_FALSE(w.Latched("BTN_RMCT_START_SVR"));
        EXPECT_EQ(RmctLiveSessions(), 0);
    }
    w.Click("BTN_RMCT_START_SVR");
    EXPECT_TRUE(w.Latched("BTN_RMCT_START_SVR"));
    EXPECT_EQ(RmctLiveSessions(), 1);
    // Closing the window ends the page, and the page ends the service.
}

TEST_F(RemotePanel, NetworkSettingsButtonOpensTheDialogAndOkMovesTheLocalAddress) {
    vct::SetSwitches(1, 1, 1);
    vct::PanelWindow w;
    ASSERT_EQ(w.LabelText("TXT_LOCAL_IP"), "127.0.0.1");

    std::atomic<bool> found{false};
    std::atomic<bool> owned{false};
    std::atomic<LRESULT> items{-1};
    const HWND main = w.Hwnd();
    std::thread driver([&] {
        HWND dialog = nullptr;
        for (int i = 0; i < 500 && dialog == nullptr; ++i) {
            dialog = FindWindowA(nullptr, "Network Setting (Remote Control)");
            if (dialog == nullptr || !IsWindowVisible(dialog)) {
                dialog = nullptr;
                Sleep(10);
            }
        }
        if (dialog == nullptr) return;
        found = true;
        owned = GetWindow(dialog, GW_OWNER) == main;
        Sleep(200);
        const HWND combo = GetDlgItem(dialog, IDC_RMCT_NIC_LIST);
        items = SendMessageA(combo, CB_GETCOUNT, 0, 0);
        // The keyboard picks the second adapter, the mouse presses OK.
        SetForegroundWindow(dialog);
        SetFocus(combo);
        veltrano::test::SendKey(VK_DOWN);
        for (int i = 0; i < 200 && SendMessageA(combo, CB_GETCURSEL, 0, 0) != 1; ++i) Sleep(10);
        veltrano::test::PointAt(GetDlgItem(dialog, IDOK));
        Sleep(30);
        veltrano::test::SendMouseButton(MOUSEEVENTF_LEFTDOWN);
        veltrano::test::SendMouseButton(MOUSEEVENTF_LEFTUP);
        for (int i = 0; i < 500 && IsWindow(dialog); ++i) Sleep(10);
    });
    w.Click("BTN_RMCT_NETWORK_SET");
    driver.join();
    ASSERT_TRUE(found);
    EXPECT_TRUE(owned);
    EXPECT_EQ(items, 16);
    w.Pump(100);
    // The second listed adapter (the one at 0.0.0.0 is not listed).
    EXPECT_EQ(w.LabelText("TXT_LOCAL_IP"), "127.11.1.2");
    EXPECT_TRUE(w.Visible("TXT_LOCAL_IP"));
    w.Shot("remote-panel-local-ip");
}

TEST_F(RemotePanel, SwitchOffMeansNoPageAndNoRemoteElements) {
    vct::SetSwitches(1, 1, 0);
    vct::PanelWindow w;
    EXPECT_EQ(w.Dialog().RemoteSection(), nullptr);
    EXPECT_FALSE(w.Visible("BTN_RMCT_NETWORK_SET"));
    EXPECT_FALSE(w.Visible("BTN_RMCT_START_SVR"));
    EXPECT_FALSE(w.Visible("TXT_LOCAL_IP"));
    EXPECT_FALSE(w.Visible("TXT_REMOTE_IP"));
}

}  // namespace
}  // namespace remote_test
