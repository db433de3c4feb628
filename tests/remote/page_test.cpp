// The remote-control page against a recording skin.
// Winsock must come before any other Windows header.
// clang-format off
#include "remote_fixture.h"
// clang-format on

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cpl/remote/page_remote_ctrl.h"
#include "fake_skin.h"
#include "sim/net/virtual_net.h"

namespace remote_test {
namespace {

using ::testing::ElementsAre;

class RemotePage : public ::testing::Test {
protected:
    void SetUp() override { sim::net::ResetAdapters(); }
    void TearDown() override {
        sim::net::ResetAdapters();
        EXPECT_EQ(RmctLiveSessions(), 0);
    }
    WinsockScope winsock;
    PacketSink mainWindow;
    FakeSkin skin;
    skin::SkinSurface& surface = skin;
};

TEST_F(RemotePage, InitListsAdaptersSelectsTheFirstAndShowsItsAddress) {
    CPPageRemoteCtrl page(&surface, mainWindow.hwnd());
    EXPECT_EQ(page.Table().port, 0);  // nothing before initialise
    EXPECT_STREQ(page.ClassName(), "CPPageRemoteCtrl");
    EXPECT_TRUE(page.Init());
    EXPECT_EQ(page.Table().count, 16);
    EXPECT_EQ(page.Table().selected, 0);
    EXPECT_EQ(page.Table().port, 5566);
    EXPECT_THAT(skin.calls,
                ElementsAre("SetLabelText TXT_LOCAL_IP 127.0.0.1", "ShowLabel TXT_LOCAL_IP 1"));
    EXPECT_FALSE(page.ServerStarted());
}

TEST_F(RemotePage, WithoutAnAddressTheLabelIsHidden) {
    sim::net::SetAdapters({{"Unplugged", "0.0.0.0", "0.0.0.0", MIB_IF_TYPE_ETHERNET}});
    CPPageRemoteCtrl page(&surface, mainWindow.hwnd());
    page.Init();
    EXPECT_EQ(page.Table().count, 0);
    EXPECT_EQ(page.Table().port, 5566);
    EXPECT_THAT(skin.calls, ElementsAre("ShowLabel TXT_LOCAL_IP 0"));
}

// The service port is fixed at 5566, so here the real port is the point. If
// another program holds it, the start fails just the same.
TEST_F(RemotePage, ToggleLatchesOnlyWhileTheServerRunsAndRetriesAfterAFailedStart) {
    CPPageRemoteCtrl page(&surface, mainWindow.hwnd());
    page.Init();
    skin.calls.clear();
    {
        UdpSocket holder(INADDR_ANY, rmct::kDefaultPort);
        page.OnServerToggle();
        EXPECT_FALSE(page.ServerStarted());
        EXPECT_THAT(skin.calls, ElementsAre("EnableButton BTN_RMCT_START_SVR 0",
                                            "EnableButton BTN_RMCT_START_SVR 1"));
    }
    skin.calls.clear();
    page.OnServerToggle();
    ASSERT_TRUE(page.ServerStarted());
    EXPECT_THAT(skin.calls, ElementsAre("EnableButton BTN_RMCT_START_SVR 0",
                                        "SetButtonCheck BTN_RMCT_START_SVR 1",
                                        "EnableButton BTN_RMCT_START_SVR 1"));
    // Datagrams reach the main window.
    UdpSocket sender(INADDR_LOOPBACK, 0);
    ASSERT_TRUE(sender.SendToLoopback(rmct::kDefaultPort, "hello", 5));
    ASSERT_TRUE(PumpUntil([&] { return mainWindow.deliveries.size() == 1; }, 10000));
    EXPECT_EQ(
        CheckSlot(mainWindow.deliveries[0].slot.data(), sender.port(), {'h', 'e', 'l', 'l', 'o'}),
        "");

    skin.calls.clear();
    page.OnServerToggle();
    EXPECT_FALSE(page.ServerStarted());
    EXPECT_FALSE(RmctServerRunning(page.Endpoint()));
    EXPECT_THAT(
        skin.calls,
        ElementsAre("EnableButton BTN_RMCT_START_SVR 0", "SetButtonCheck BTN_RMCT_START_SVR 0",
                    "ShowLabel TXT_REMOTE_IP 0", "EnableButton BTN_RMCT_START_SVR 1"));
}

TEST_F(RemotePage, DestroyingTheRunningPageStopsTheServerAndFreesThePort) {
    {
        CPPageRemoteCtrl page(nullptr, mainWindow.hwnd());  // no owner: no element is touched
        page.Init();
        page.OnServerToggle();
        ASSERT_TRUE(page.ServerStarted());
        EXPECT_EQ(RmctLiveSessions(), 1);
    }
    EXPECT_EQ(RmctLiveSessions(), 0);
    UdpSocket again(INADDR_ANY, rmct::kDefaultPort);
    EXPECT_TRUE(again.valid());
}

}  // namespace
}  // namespace remote_test
