// The UDP service through real sockets on loopback.
#include <gtest/gtest.h>

#include "remote_fixture.h"

namespace remote_test {
namespace {

std::vector<BYTE> Pattern(size_t size, BYTE seed) {
    std::vector<BYTE> v(size);
    for (size_t i = 0; i < size; ++i) v[i] = static_cast<BYTE>(seed + i * 7 + 1) | 1;  // never zero
    return v;
}

class RemoteService : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(sink.hwnd(), nullptr);
        endpoint = CreateRmctEndpoint(sink.hwnd());
        ASSERT_NE(endpoint, nullptr);
    }
    void TearDown() override {
        DestroyRmctEndpoint(endpoint);
        EXPECT_EQ(RmctLiveSessions(), 0);
    }
    bool WaitDeliveries(size_t n) {
        return PumpUntil([&] { return sink.deliveries.size() >= n; }, 10000);
    }

    WinsockScope winsock;
    PacketSink sink;
    RmctEndpoint* endpoint = nullptr;
};

TEST_F(RemoteService, DeliversUpTo992BytesAndDropsLongerWithoutAdvancing) {
    const uint16_t port = FreePort();
    ASSERT_EQ(StartServer(endpoint, port), S_OK);
    EXPECT_EQ(RmctBoundPort(endpoint), port);
    UdpSocket sender(INADDR_LOOPBACK, 0);
    ASSERT_TRUE(sender.valid());

    ASSERT_TRUE(sender.SendToLoopback(port, "", 0));
    ASSERT_TRUE(WaitDeliveries(1));
    EXPECT_EQ(sink.deliveries[0].index, 0u);
    EXPECT_EQ(CheckSlot(sink.deliveries[0].slot.data(), sender.port(), {}), "");

    const std::vector<BYTE> full = Pattern(rmct::kMaxPayload, 3);
    ASSERT_TRUE(sender.SendToLoopback(port, full.data(), static_cast<int>(full.size())));
    ASSERT_TRUE(WaitDeliveries(2));
    EXPECT_EQ(sink.deliveries[1].index, 1u);
    EXPECT_EQ(CheckSlot(sink.deliveries[1].slot.data(), sender.port(), full), "");
    EXPECT_NE(sink.deliveries[1].slot[rmct::kSlotSize - 1], 0);  // no terminating zero fits

    const std::vector<BYTE> tooLong = Pattern(rmct::kMaxPayload + 1, 9);
    ASSERT_TRUE(sender.SendToLoopback(port, tooLong.data(), static_cast<int>(tooLong.size())));
    const std::vector<BYTE> marker = Pattern(5, 40);
    ASSERT_TRUE(sender.SendToLoopback(port, marker.data(), static_cast<int>(marker.size())));
    ASSERT_TRUE(WaitDeliveries(3));
    EXPECT_TRUE(PumpUntil([&] { return RmctNextSlot(endpoint) == 3; }, 5000));
    ASSERT_EQ(sink.deliveries.size(), 3u);
    EXPECT_EQ(sink.deliveries[2].index, 2u);  // the long one took no slot
    EXPECT_EQ(CheckSlot(sink.deliveries[2].slot.data(), sender.port(), marker), "");
}

TEST_F(RemoteService, NinthDatagramReusesSlotZeroAndSlotsStayUntilThen) {
    const uint16_t port = FreePort();
    ASSERT_EQ(StartServer(endpoint, port), S_OK);
    UdpSocket sender(INADDR_LOOPBACK, 0);
    for (int i = 0; i < 9; ++i) {
        const std::vector<BYTE> data = Pattern(10 + i, static_cast<BYTE>(i));
        ASSERT_TRUE(sender.SendToLoopback(port, data.data(), static_cast<int>(data.size())));
        ASSERT_TRUE(WaitDeliveries(i + 1));
        EXPECT_EQ(sink.deliveries[i].index, static_cast<WPARAM>(i % 8));
        EXPECT_EQ(sink.deliveries[i].pointer, sink.deliveries[i % 8].pointer);
        if (i == 7) {
            // Eight datagrams in: every earlier slot still holds what it got.
            for (int k = 0; k < 8; ++k)
                EXPECT_EQ(CheckSlot(sink.deliveries[k].pointer, sender.port(),
                                    Pattern(10 + k, static_cast<BYTE>(k))),
                          "")
                    << "slot " << k;
        }
    }
    EXPECT_EQ(CheckSlot(sink.deliveries[8].slot.data(), sender.port(), Pattern(18, 8)), "");
    // The thread moves on once the handler has returned.
    EXPECT_TRUE(PumpUntil([&] { return RmctNextSlot(endpoint) == 1; }, 5000));
}

TEST_F(RemoteService, StopWhileWaitingReturnsPromptlyAndStartsAgain) {
    const uint16_t port = FreePort();
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(StartServer(endpoint, port), S_OK) << round;
        EXPECT_TRUE(RmctServerRunning(endpoint));
        EXPECT_EQ(StartServer(endpoint, port), E_FAIL);  // already running
        Sleep(50);  // the receive thread is waiting for data now
        const DWORD before = GetTickCount();
        StopServer(endpoint);
        EXPECT_LT(GetTickCount() - before, 2500u);
        EXPECT_FALSE(RmctServerRunning(endpoint));
        EXPECT_EQ(RmctNextSlot(endpoint), 0);
        EXPECT_EQ(RmctLiveSessions(), 0);
        StopServer(endpoint);  // twice is harmless
    }
    // The port is free again: the stop closed the socket.
    UdpSocket again(INADDR_ANY, port);
    EXPECT_TRUE(again.valid());
}

TEST_F(RemoteService, StartOnAHeldPortFailsUntilTheHolderLetsGo) {
    const uint16_t port = FreePort();
    {
        UdpSocket holder(INADDR_ANY, port);
        ASSERT_TRUE(holder.valid());
        EXPECT_EQ(StartServer(endpoint, port), E_FAIL);
        EXPECT_FALSE(RmctServerRunning(endpoint));
        EXPECT_EQ(RmctLiveSessions(), 0);  // nothing left half-started
        StopServer(endpoint);
    }
    ASSERT_EQ(StartServer(endpoint, port), S_OK);
    UdpSocket sender(INADDR_LOOPBACK, 0);
    ASSERT_TRUE(sender.SendToLoopback(port, "x", 1));
    ASSERT_TRUE(WaitDeliveries(1));
}

TEST_F(RemoteService, EndpointWithoutServerIsHarmless) {
    StopServer(endpoint);
    StopServer(nullptr);
    EXPECT_EQ(StartServer(nullptr, 1), E_FAIL);
    EXPECT_EQ(RmctBoundPort(endpoint), 0);
    EXPECT_FALSE(RmctServerRunning(endpoint));
    DestroyRmctEndpoint(nullptr);
}

}  // namespace
}  // namespace remote_test
