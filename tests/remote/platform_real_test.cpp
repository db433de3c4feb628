// The real network seam: the system's adapter list is only read, and the
// one send goes to a loopback listener.
// Winsock must come before any other Windows header.
// clang-format off
#include "remote_fixture.h"
// clang-format on

#include <gtest/gtest.h>

#include <cstring>

#include "platform/net.h"

namespace remote_test {
namespace {

TEST(RemotePlatformReal, AdapterTableFromTheSystemStaysWithinBounds) {
    RmctEndpoint* endpoint = CreateRmctEndpoint(nullptr);
    int count = -1;
    const BOOL listed = EnumAdapters(endpoint, &count);
    if (listed) {
        EXPECT_GE(count, 0);
        EXPECT_NE(endpoint->adapterList, nullptr);
    } else {
        EXPECT_EQ(count, 0);
        EXPECT_EQ(endpoint->adapterList, nullptr);
    }
    RmctNicTable table;
    rmct::InitNicTable(table, rmct::kDefaultPort);
    RefreshNicTable(&table, endpoint);
    EXPECT_GE(table.count, 0);
    EXPECT_LE(table.count, 16);
    EXPECT_LE(table.count, count < 0 ? 0 : count);
    for (int i = 0; i < table.count; ++i) {
        EXPECT_NE(table.address[i], 0u);
        EXPECT_NE(std::memchr(table.description[i], 0, rmct::kDescriptionSize), nullptr);
    }
    DestroyRmctEndpoint(endpoint);
}

TEST(RemotePlatformReal, SendReachesALoopbackListener) {
    WinsockScope winsock;
    UdpSocket listener(INADDR_LOOPBACK, 0);
    UdpSocket s(INADDR_LOOPBACK, 0);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(listener.port());
    ASSERT_EQ(
        platform::sendto(s.get(), "abc", 3, 0, reinterpret_cast<const sockaddr*>(&to), sizeof(to)),
        3);
    char buffer[8];
    EXPECT_EQ(listener.Receive(buffer, sizeof(buffer), 5000), 3);
}

}  // namespace
}  // namespace remote_test
