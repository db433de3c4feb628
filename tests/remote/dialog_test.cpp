// The network settings dialog, opened by the page and driven with real
// mouse and keyboard input from a second thread.
// Winsock must come before any other Windows header.
// clang-format off
#include "remote_fixture.h"
// clang-format on

#include <commctrl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "cpl/remote/page_remote_ctrl.h"
#include "cpl/remote/rmct_nic_ids.h"
#include "fake_skin.h"
#include "sim/net/virtual_net.h"
#include "support/real_input.h"
#include "support/screenshot.h"

namespace remote_test {
namespace {

using ::testing::ElementsAre;

constexpr char kTitle[] = "Network Setting (Remote Control)";

std::vector<sim::net::VirtualAdapter> ThreeAdapters() {
    return {{"Loopback A", "127.0.0.1", "255.0.0.0", MIB_IF_TYPE_LOOPBACK},
            {"Unplugged", "0.0.0.0", "0.0.0.0", MIB_IF_TYPE_ETHERNET},
            {"Adapter B", "127.20.0.5", "255.255.0.0", MIB_IF_TYPE_ETHERNET},
            {"Adapter C", "127.30.1.9", "255.255.255.0", MIB_IF_TYPE_ETHERNET}};
}

// Polls `done` for up to five seconds.
bool Eventually(const std::function<bool()>& done) {
    for (int i = 0; i < 500; ++i) {
        if (done()) return true;
        Sleep(10);
    }
    return done();
}

void Click(HWND control) {
    veltrano::test::PointAt(control);
    Sleep(30);
    veltrano::test::SendMouseButton(MOUSEEVENTF_LEFTDOWN);
    veltrano::test::SendMouseButton(MOUSEEVENTF_LEFTUP);
    Sleep(30);
}

void Key(WORD vk) {
    veltrano::test::SendKey(vk);
    Sleep(30);
}

std::string Text(HWND control) {
    char text[64] = {};
    GetWindowTextA(control, text, sizeof(text));
    return text;
}

DWORD IpAddress(HWND dialog) {
    DWORD address = 0;
    SendDlgItemMessageA(dialog, IDC_RMCT_IPADDR, IPM_GETADDRESS, 0,
                        reinterpret_cast<LPARAM>(&address));
    return address;
}

struct DriveResult {
    bool found = false;
    std::string portText, portAfterTyping;
    bool portReadOnly = false, notifyVisible = true;
    LRESULT itemsAtOpen = -1, itemsAfterRefresh = -1, selectionAfterRefresh = -1,
            selectionAfterKey = -1;
    DWORD addressAfterRefresh = 0, addressAfterKey = 0;
};

// Refresh twice, try to type into the port, pick the next adapter with the
// keyboard, then press `finish` (IDOK or IDCANCEL).
void Drive(int finish, const char* screenshot, DriveResult& out) {
    HWND dialog = nullptr;
    if (!Eventually([&] {
            return (dialog = FindWindowA(nullptr, kTitle)) != nullptr && IsWindowVisible(dialog);
        }))
        return;
    out.found = true;
    Sleep(200);
    const HWND combo = GetDlgItem(dialog, IDC_RMCT_NIC_LIST);
    const HWND port = GetDlgItem(dialog, IDC_RMCT_PORT);
    out.itemsAtOpen = SendMessageA(combo, CB_GETCOUNT, 0, 0);
    out.portText = Text(port);
    out.portReadOnly = (GetWindowLongA(port, GWL_STYLE) & ES_READONLY) != 0;
    out.notifyVisible = IsWindowVisible(GetDlgItem(dialog, IDC_RMCT_NOTIFY)) != FALSE;

    sim::net::SetAdapters(ThreeAdapters());
    const int calls = sim::net::AdaptersInfoCalls();
    Click(GetDlgItem(dialog, IDC_RMCT_REFRESH));
    Eventually([&] { return sim::net::AdaptersInfoCalls() >= calls + 2; });
    Click(GetDlgItem(dialog, IDC_RMCT_REFRESH));
    Eventually([&] { return sim::net::AdaptersInfoCalls() >= calls + 4; });
    Sleep(100);
    out.itemsAfterRefresh = SendMessageA(combo, CB_GETCOUNT, 0, 0);
    out.selectionAfterRefresh = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    out.addressAfterRefresh = IpAddress(dialog);

    Click(port);
    Key('1');
    Key(VK_BACK);
    Key('9');
    Sleep(100);
    out.portAfterTyping = Text(port);

    // The combo's edit part takes the focus; Down moves to the next adapter.
    Click(combo);
    Key(VK_DOWN);
    Eventually([&] { return SendMessageA(combo, CB_GETCURSEL, 0, 0) == 1; });
    Sleep(100);
    out.selectionAfterKey = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    out.addressAfterKey = IpAddress(dialog);
    if (screenshot != nullptr) {
        EXPECT_TRUE(
            veltrano::test::SaveWindowPng(dialog, veltrano::test::ScreenshotPath(screenshot)));
    }

    Click(GetDlgItem(dialog, finish));
    Eventually([&] { return !IsWindow(dialog); });
}

class RemoteDialog : public ::testing::Test {
protected:
    void SetUp() override { sim::net::ResetAdapters(); }
    void TearDown() override { sim::net::ResetAdapters(); }
    WinsockScope winsock;
    PacketSink mainWindow;
    FakeSkin skin;
    skin::SkinSurface& surface = skin;
};

void ExpectDriven(const DriveResult& r) {
    ASSERT_TRUE(r.found);
    EXPECT_EQ(r.itemsAtOpen, 16);
    EXPECT_EQ(r.portText, "5566");
    EXPECT_TRUE(r.portReadOnly);
    EXPECT_EQ(r.portAfterTyping, "5566");
    EXPECT_FALSE(r.notifyVisible);
    EXPECT_EQ(r.itemsAfterRefresh, 3);  // replaced, not appended, by each refresh
    EXPECT_EQ(r.selectionAfterRefresh, 0);
    EXPECT_EQ(r.addressAfterRefresh, MAKEIPADDRESS(127, 0, 0, 1));
    EXPECT_EQ(r.selectionAfterKey, 1);
    EXPECT_EQ(r.addressAfterKey, MAKEIPADDRESS(127, 20, 0, 5));
}

TEST_F(RemoteDialog, CancelLeavesThePageAndItsLabelAlone) {
    CPPageRemoteCtrl page(&surface, mainWindow.hwnd());
    page.Init();
    skin.calls.clear();
    DriveResult r;
    std::thread driver([&] { Drive(IDCANCEL, "remote-dialog", r); });
    page.OnNetworkSetting();
    driver.join();
    ExpectDriven(r);
    EXPECT_EQ(page.Table().count, 16);
    EXPECT_EQ(page.Table().selected, 0);
    EXPECT_TRUE(skin.calls.empty());
}

TEST_F(RemoteDialog, OkAppliesTheNewSelectionToTheLabelAtOnce) {
    CPPageRemoteCtrl page(&surface, mainWindow.hwnd());
    page.Init();
    skin.calls.clear();
    DriveResult r;
    std::thread driver([&] { Drive(IDOK, nullptr, r); });
    page.OnNetworkSetting();
    driver.join();
    ExpectDriven(r);
    EXPECT_EQ(page.Table().count, 3);
    EXPECT_EQ(page.Table().selected, 1);
    EXPECT_EQ(page.Table().port, 5566);
    EXPECT_THAT(skin.calls,
                ElementsAre("SetLabelText TXT_LOCAL_IP 127.20.0.5", "ShowLabel TXT_LOCAL_IP 1"));
}

TEST_F(RemoteDialog, EmptyTableOpensWithLoopbackAndThePort) {
    sim::net::SetAdapters({});
    CPPageRemoteCtrl page(&surface, mainWindow.hwnd());
    page.Init();
    std::atomic<bool> found{false};
    LRESULT items = -1;
    DWORD address = 0;
    std::string portText;
    std::thread driver([&] {
        HWND dialog = nullptr;
        if (!Eventually([&] { return (dialog = FindWindowA(nullptr, kTitle)) != nullptr; })) return;
        found = true;
        Sleep(200);
        items = SendDlgItemMessageA(dialog, IDC_RMCT_NIC_LIST, CB_GETCOUNT, 0, 0);
        address = IpAddress(dialog);
        portText = Text(GetDlgItem(dialog, IDC_RMCT_PORT));
        Click(GetDlgItem(dialog, IDC_RMCT_REFRESH));  // still nothing to list
        Sleep(200);
        Click(GetDlgItem(dialog, IDOK));
        Eventually([&] { return !IsWindow(dialog); });
    });
    page.OnNetworkSetting();
    driver.join();
    ASSERT_TRUE(found);
    EXPECT_EQ(items, 0);
    EXPECT_EQ(address, MAKEIPADDRESS(127, 0, 0, 1));
    EXPECT_EQ(portText, "5566");
    EXPECT_EQ(page.Table().count, 0);
    EXPECT_EQ(page.Table().port, 5566);
}

// Nothing shows the notify button, so it is pressed by its command: the
// selected loopback entry's subnet broadcast reaches a listener on the
// service port.
TEST_F(RemoteDialog, NotifyCommandBroadcastsOnTheSelectedSubnet) {
    UdpSocket listener(INADDR_ANY, rmct::kDefaultPort);
    ASSERT_TRUE(listener.valid());
    CPPageRemoteCtrl page(&surface, mainWindow.hwnd());
    page.Init();
    const int refusedBefore = sim::net::RefusedSends();
    std::atomic<bool> found{false};
    std::thread driver([&] {
        HWND dialog = nullptr;
        if (!Eventually([&] { return (dialog = FindWindowA(nullptr, kTitle)) != nullptr; })) return;
        found = true;
        const HWND button = GetDlgItem(dialog, IDC_RMCT_NOTIFY);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_RMCT_NOTIFY, BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
        Click(GetDlgItem(dialog, IDCANCEL));
        Eventually([&] { return !IsWindow(dialog); });
    });
    const int passedBefore = sim::net::PassedSends();
    page.OnNetworkSetting();
    driver.join();
    ASSERT_TRUE(found);
    char buffer[64] = {};
    sockaddr_in from = {};
    ASSERT_EQ(listener.Receive(buffer, sizeof(buffer), 5000, &from), 17);
    EXPECT_STREQ(buffer, "KestTechNotifyBC");
    EXPECT_EQ(sim::net::RefusedSends(), refusedBefore);
    // The first entry is the loopback adapter 127.0.0.1/255.0.0.0.
    sockaddr_in to = {};
    ASSERT_EQ(sim::net::PassedSends(&to) - passedBefore, 1);
    EXPECT_EQ(ntohl(to.sin_addr.s_addr), 0x7FFFFFFFu);
    EXPECT_EQ(ntohs(to.sin_port), rmct::kDefaultPort);
}

}  // namespace
}  // namespace remote_test
