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

#include "cpl/panel_harness.h"
#include "cpl/remote/rmct_nic_ids.h"
#include "sim/audio/virtual_audio.h"
#include "sim/audio/virtual_controls.h"
#include "sim/devchange/device_change.h"
#include "sim/net/virtual_net.h"
#include "sim/os/os_pretend.h"
#include "sim/sim.h"
#include "support/process_counts.h"
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

// The cable is pulled as the first WM_CPL_REMOTE_PACKET reaches the main
// window; the section the window has right after the removal was handled.
vc::CTarvoACPLUIDlg* g_dialog = nullptr;
CPPageRemoteCtrl* g_sectionDuring = nullptr;

LRESULT CALLBACK UnplugOnFirstPacket(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* m = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && m->hwnd == g_watched &&
        m->message == veltrano::cpl::WM_CPL_REMOTE_PACKET && g_packets++ == 0) {
        ::sim::UnplugDevice();  // sent, and handled before it returns
        g_sectionDuring = g_dialog->RemoteSection();
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
        ASSERT_FALSE(PortHeld(rmct::kDefaultPort)) << "another program holds the service port";
    }
    void TearDown() override {
        if (!::sim::DevicePlugged()) ::sim::PlugDevice();
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

// What the process holds: back where it started once a scenario is over.
struct Held {
    size_t threads = 0;
    size_t handles = 0;
    bool operator==(const Held&) const = default;
};

Held Count() {
    veltrano::sim::WaitForVirtualNotifications();
    return {veltrano::test::ProcessThreads(), veltrano::test::OpenKernelHandles()};
}

// The threads and handles the panel holds are back where they were. What a
// section let go of may close a moment after it returned (its thread's last
// handle, say), which on a loaded machine can take longer than a pump, so
// the count is given a few poll ticks; a leak never comes back.
void ExpectCountBackTo(vct::PanelWindow& w, const Held& before) {
    Held now;
    w.PumpUntil([&] { return (now = Count()) == before; }, 10);
    EXPECT_EQ(now.threads, before.threads);
    EXPECT_EQ(now.handles, before.handles);
}

// The device is in, every section is there and the window shows each of
// them once, the service stopped.
void ExpectWholePanel(vct::PanelWindow& w) {
    EXPECT_NE(w.Dialog().PlaybackSection(), nullptr);
    EXPECT_NE(w.Dialog().RecordSection(), nullptr);
    EXPECT_NE(w.Dialog().AsioSection(), nullptr);
    ASSERT_NE(w.Dialog().RemoteSection(), nullptr);
    for (const char* name : {"BTN_P_96K", "BTN_R_96K", "BTN_ASIO_16B", "BTN_RMCT_NETWORK_SET",
                             "BTN_RMCT_START_SVR", "TXT_LOCAL_IP"}) {
        EXPECT_TRUE(w.Visible(name)) << name;
    }
    EXPECT_EQ(w.LabelText("TXT_LOCAL_IP"), "127.0.0.1");
    EXPECT_FALSE(w.Latched("BTN_RMCT_START_SVR"));
    EXPECT_EQ(RmctLiveSessions(), 0);
    EXPECT_FALSE(PortHeld(rmct::kDefaultPort));
}

// Opens the network settings with a click; once the dialog is on screen,
// another thread runs `whileOpen` and then presses OK with the mouse.
void WithNetworkSettingsOpen(vct::PanelWindow& w, const std::function<void()>& whileOpen) {
    std::atomic<bool> found{false};
    std::thread driver([&] {
        HWND dialog = nullptr;
        for (int i = 0; i < 1000 && dialog == nullptr; ++i) {
            dialog = FindWindowA(nullptr, "Network Setting (Remote Control)");
            if (dialog == nullptr || !IsWindowVisible(dialog)) {
                dialog = nullptr;
                Sleep(10);
            }
        }
        if (dialog == nullptr) return;
        found = true;
        whileOpen();
        for (int attempt = 0; attempt < 5 && IsWindow(dialog); ++attempt) {
            SetForegroundWindow(dialog);
            veltrano::test::PointAt(GetDlgItem(dialog, IDOK));
            Sleep(30);
            veltrano::test::SendMouseButton(MOUSEEVENTF_LEFTDOWN);
            veltrano::test::SendMouseButton(MOUSEEVENTF_LEFTUP);
            for (int i = 0; i < 200 && IsWindow(dialog); ++i) Sleep(10);
        }
    });
    w.Click("BTN_RMCT_NETWORK_SET");
    driver.join();
    EXPECT_TRUE(found);
}

// The cable is pulled and put back while the network settings are open:
// the window's modal loop handles the removal, the arrival and the
// activation, which rebuild the sections, while the page that opened the
// dialog still waits for it. The page stays until OK has returned into it;
// then the rebuild is carried out once.
TEST_F(RemotePanel, UnplugAndPlugWhileTheNetworkSettingsAreOpenThenOkLeaveOnePanel) {
    vc::CTarvoACPLUIDlg::SetSettleDelayMs(0);
    vct::SetSwitches(1, 1, 1);
    vct::PanelWindow w;
    CPPageRemoteCtrl* afterUnplug = nullptr;
    // Each device change is sent to the window and handled before the call
    // returns.
    const auto replug = [&] {
        ASSERT_TRUE(::sim::UnplugDevice());
        afterUnplug = w.Dialog().RemoteSection();
        ASSERT_TRUE(::sim::PlugDevice());
        veltrano::sim::WaitForVirtualNotifications();
    };
    // A first round loads what the dialog and the device change load once.
    CPPageRemoteCtrl* opener = w.Dialog().RemoteSection();
    WithNetworkSettingsOpen(w, replug);
    EXPECT_EQ(afterUnplug, opener) << "the page went while its dialog ran";
    ASSERT_TRUE(w.PumpUntil([&] { return w.Dialog().RemoteSection() != nullptr; }, 10));
    w.Pump(300);
    const Held before = Count();

    opener = w.Dialog().RemoteSection();
    WithNetworkSettingsOpen(w, replug);
    EXPECT_EQ(afterUnplug, opener) << "the page went while its dialog ran";
    EXPECT_TRUE(w.PumpUntil(
        [&] { return w.Dialog().RemoteSection() != nullptr && w.Dialog().PlaybackSection(); }, 10));
    w.Pump(300);
    ExpectWholePanel(w);
    ExpectCountBackTo(w, before);
    w.Shot("remote-panel-after-replug-under-dialog");
}

// The cable is pulled while the service stops: the stop handles the
// delivery its receive thread is blocked in, and the removal comes in right
// then. The page and its endpoint stay until the stop has returned; then
// the removal's rebuild hides the sections, and the arrival brings them back.
TEST_F(RemotePanel, UnplugDuringTheServiceStopWaitsForTheStopAndLeavesOnePanel) {
    vc::CTarvoACPLUIDlg::SetSettleDelayMs(0);
    vct::SetSwitches(1, 1, 1);
    vct::PanelWindow w;
    // A first start and stop loads what the service loads once.
    w.Click("BTN_RMCT_START_SVR");
    w.Click("BTN_RMCT_START_SVR");
    ASSERT_FALSE(w.Latched("BTN_RMCT_START_SVR"));
    w.Pump(300);
    const Held before = Count();

    w.Click("BTN_RMCT_START_SVR");
    ASSERT_TRUE(w.Latched("BTN_RMCT_START_SVR"));
    CPPageRemoteCtrl* page = w.Dialog().RemoteSection();
    {
        UdpSocket sender(INADDR_LOOPBACK, 0);
        ASSERT_TRUE(sender.SendToLoopback(rmct::kDefaultPort, "remote", 6));
    }
    // The receive thread now waits in SendMessageA for this thread.
    const DWORD start = GetTickCount();
    while (!(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE)) {
        ASSERT_LT(GetTickCount() - start, 10000u) << "the datagram was not delivered";
        Sleep(1);
    }
    g_watched = w.Hwnd();
    g_packets = 0;
    g_dialog = &w.Dialog();
    g_sectionDuring = page;
    HHOOK hook =
        SetWindowsHookExA(WH_CALLWNDPROC, UnplugOnFirstPacket, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    // What the button's click reaches, without first handling what is
    // pending: a real click is taken from the queue only after the
    // thread has handled the messages sent to it.
    w.Dialog().OnSkinButtonClicked("BTN_RMCT_START_SVR");
    UnhookWindowsHookEx(hook);
    g_watched = nullptr;
    EXPECT_EQ(g_packets, 1);
    EXPECT_EQ(g_sectionDuring, page) << "the page went while it stopped its service";
    EXPECT_EQ(w.Dialog().RemoteSection(), nullptr);
    EXPECT_EQ(w.Dialog().PlaybackSection(), nullptr);
    EXPECT_FALSE(w.Visible("BTN_RMCT_START_SVR"));
    EXPECT_EQ(RmctLiveSessions(), 0);

    ASSERT_TRUE(::sim::PlugDevice());
    EXPECT_TRUE(w.PumpUntil([&] { return w.Dialog().RemoteSection() != nullptr; }, 10));
    w.Pump(300);
    ExpectWholePanel(w);
    ExpectCountBackTo(w, before);
}

}  // namespace
}  // namespace remote_test
