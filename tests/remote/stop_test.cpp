// Stopping the service while its receive thread is inside a delivery.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "remote_fixture.h"

namespace remote_test {
namespace {

// Waits (without handling anything) until a message sent by another thread
// is pending for this thread: the receive thread is then blocked in
// SendMessageA.
bool WaitForPendingSentMessage(DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        if (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) return true;
        Sleep(1);
    }
    return false;
}

TEST(RemoteStop, DatagramArrivingWhileTheWindowThreadStopsIsHandledAndNothingHangs) {
    WinsockScope winsock;
    PacketSink sink;
    RmctEndpoint* endpoint = CreateRmctEndpoint(sink.hwnd());
    const uint16_t port = FreePort();
    UdpSocket sender(INADDR_LOOPBACK, 0);
    for (int round = 0; round < 8; ++round) {
        sink.deliveries.clear();
        ASSERT_EQ(StartServer(endpoint, port), S_OK) << round;
        const BYTE payload[4] = {0xA5, static_cast<BYTE>(round), 0x5A, 0x01};
        ASSERT_TRUE(sender.SendToLoopback(port, payload, sizeof(payload)));
        ASSERT_TRUE(WaitForPendingSentMessage(10000)) << round;

        const DWORD before = GetTickCount();
        StopServer(endpoint);
        const DWORD took = GetTickCount() - before;
        // Well below the five seconds after which a thread would be left behind:
        // the stop handled the delivery instead of waiting it out.
        EXPECT_LT(took, 4000u) << round;
        EXPECT_EQ(RmctLiveSessions(), 0) << round;
        ASSERT_EQ(sink.deliveries.size(), 1u) << round;
        EXPECT_EQ(CheckSlot(sink.deliveries[0].slot.data(), sender.port(),
                            std::vector<BYTE>(payload, payload + sizeof(payload))),
                  "");
    }
    DestroyRmctEndpoint(endpoint);
}

// The window belongs to a thread that does not answer for a while: the stop
// gives up after its wait, the thread keeps its ring, and when the window
// finally answers the delivery is intact and everything is freed.
TEST(RemoteStop, ThreadBlockedOnAnUnansweringWindowIsLeftToFinishSafely) {
    WinsockScope winsock;
    std::atomic<HWND> target{nullptr};
    std::atomic<bool> answer{false};
    std::atomic<bool> verified{false};
    std::atomic<int> delivered{0};
    std::atomic<bool> pending{false};
    UdpSocket sender(INADDR_LOOPBACK, 0);
    const uint16_t senderPort = sender.port();
    const BYTE payload[6] = {1, 2, 3, 4, 5, 6};

    std::thread windowThread([&] {
        PacketSink sink;
        sink.onPacket = [&](WPARAM, const BYTE* slot) {
            verified =
                CheckSlot(slot, senderPort, std::vector<BYTE>(payload, payload + sizeof(payload)))
                    .empty();
            ++delivered;
        };
        target = sink.hwnd();
        while (!answer) {  // not handling messages
            if (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) pending = true;
            Sleep(5);
        }
        PumpUntil([&] { return delivered > 0; }, 10000);
    });
    while (target == nullptr) Sleep(1);

    RmctEndpoint* endpoint = CreateRmctEndpoint(target);
    const uint16_t port = FreePort();
    ASSERT_EQ(StartServer(endpoint, port), S_OK);
    ASSERT_TRUE(sender.SendToLoopback(port, payload, sizeof(payload)));
    // The receive thread is in SendMessageA once the window thread sees it.
    for (int i = 0; i < 2000 && !pending; ++i) Sleep(5);
    if (!pending) {
        answer = true;
        windowThread.join();
        DestroyRmctEndpoint(endpoint);
        FAIL() << "no delivery reached the window thread";
    }
    StopServer(endpoint);
    EXPECT_FALSE(RmctServerRunning(endpoint));
    EXPECT_EQ(RmctLiveSessions(), 1);  // the left-behind thread's share
    EXPECT_EQ(delivered, 0);

    // Another server can run meanwhile.
    const uint16_t other = FreePort();
    ASSERT_EQ(StartServer(endpoint, other), S_OK);
    StopServer(endpoint);

    answer = true;
    windowThread.join();
    EXPECT_EQ(delivered, 1);
    EXPECT_TRUE(verified);
    const DWORD start = GetTickCount();
    while (RmctLiveSessions() != 0 && GetTickCount() - start < 10000) Sleep(5);
    EXPECT_EQ(RmctLiveSessions(), 0);
    // The left-behind thread closed its socket on the way out.
    UdpSocket again(INADDR_ANY, port);
    EXPECT_TRUE(again.valid());
    DestroyRmctEndpoint(endpoint);
}

}  // namespace
}  // namespace remote_test
