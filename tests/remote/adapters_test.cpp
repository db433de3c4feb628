// The adapter list through the network seam, and the notify broadcast on
// loopback.
#include <gtest/gtest.h>

#include <cstring>

#include "remote_fixture.h"
#include "sim/net/virtual_net.h"

namespace remote_test {
namespace {

class RemoteAdapters : public ::testing::Test {
protected:
    void SetUp() override { sim::net::ResetAdapters(); }
    void TearDown() override {
        sim::net::ResetAdapters();
        DestroyRmctEndpoint(endpoint);
    }
    RmctEndpoint* endpoint = CreateRmctEndpoint(nullptr);
};

TEST_F(RemoteAdapters, TableSkipsAdaptersWithoutAddressKeepsChainOrderAndTheFirstSixteen) {
    int count = -1;
    ASSERT_TRUE(EnumAdapters(endpoint, &count));
    EXPECT_EQ(count, static_cast<int>(sim::net::DefaultAdapters().size()));
    ASSERT_NE(endpoint->adapterList.get(), nullptr);

    RmctNicTable table;
    rmct::InitNicTable(table, 5566);
    table.selected = 3;
    RefreshNicTable(&table, endpoint);
    ASSERT_EQ(table.count, 16);
    EXPECT_EQ(table.selected, 0);
    EXPECT_EQ(table.port, 5566);
    EXPECT_STREQ(table.description[0], "Virtual Loopback Adapter");
    EXPECT_EQ(table.type[0], static_cast<uint32_t>(MIB_IF_TYPE_LOOPBACK));
    EXPECT_EQ(rmct::NetworkToHost(table.address[0]), 0x7F000001u);
    EXPECT_EQ(rmct::NetworkToHost(table.mask[0]), 0xFF000000u);
    // The adapter at 0.0.0.0 is the second in the chain and is not listed.
    EXPECT_STREQ(table.description[1], "Virtual Network Adapter #1");
    EXPECT_STREQ(table.description[15], "Virtual Network Adapter #15");
    char text[16];
    rmct::FormatDottedQuad(table.address[1], text, sizeof(text));
    EXPECT_STREQ(text, "127.11.1.2");
}

TEST_F(RemoteAdapters, TwoAdaptersInChainOrderAndOneCallSizedRight) {
    sim::net::SetAdapters({{"Second in chain", "127.0.9.9", "255.255.255.0", MIB_IF_TYPE_ETHERNET},
                           {"No address", "0.0.0.0", "0.0.0.0", MIB_IF_TYPE_ETHERNET},
                           {"Third in chain", "127.0.0.1", "255.0.0.0", MIB_IF_TYPE_LOOPBACK}});
    const int callsBefore = sim::net::AdaptersInfoCalls();
    RmctNicTable table;
    rmct::InitNicTable(table, 5566);
    RefreshNicTable(&table, endpoint);
    EXPECT_EQ(sim::net::AdaptersInfoCalls() - callsBefore, 2);  // sizing call, then the list
    ASSERT_EQ(table.count, 2);
    EXPECT_STREQ(table.description[0], "Second in chain");
    EXPECT_STREQ(table.description[1], "Third in chain");
    EXPECT_EQ(table.address[2], 0u);

    // One adapter fits the first buffer; the list is read a second time into it.
    sim::net::SetAdapters({{"Only", "127.0.0.1", "255.0.0.0", MIB_IF_TYPE_LOOPBACK}});
    const int callsMid = sim::net::AdaptersInfoCalls();
    int count = 0;
    ASSERT_TRUE(EnumAdapters(endpoint, &count));
    EXPECT_EQ(count, 1);
    EXPECT_EQ(sim::net::AdaptersInfoCalls() - callsMid, 2);
}

TEST_F(RemoteAdapters, FailuresLeaveAnEmptyTableAndNoList) {
    RmctNicTable table;
    rmct::InitNicTable(table, 5566);
    RefreshNicTable(&table, endpoint);
    ASSERT_GT(table.count, 0);

    sim::net::FailNextAdaptersInfo(ERROR_NOT_SUPPORTED);
    int count = 7;
    EXPECT_FALSE(EnumAdapters(endpoint, &count));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(endpoint->adapterList.get(), nullptr);

    // The list grows between the sizing call and the second call: the second
    // call overflows as well and the enumeration fails cleanly.
    sim::net::SetAdapters({{"A", "127.0.0.1", "255.0.0.0", MIB_IF_TYPE_LOOPBACK},
                           {"B", "127.0.0.2", "255.0.0.0", MIB_IF_TYPE_ETHERNET}});
    sim::net::AddAdapterAfterNextCall({"C", "127.0.0.3", "255.0.0.0", MIB_IF_TYPE_ETHERNET});
    EXPECT_FALSE(EnumAdapters(endpoint, &count));
    EXPECT_EQ(endpoint->adapterList.get(), nullptr);
    ASSERT_TRUE(EnumAdapters(endpoint, &count));  // next time it reads all three
    EXPECT_EQ(count, 3);

    sim::net::SetAdapters({});
    table.selected = 2;
    RefreshNicTable(&table, endpoint);
    EXPECT_EQ(table.count, 0);
    EXPECT_EQ(table.selected, 0);
    EXPECT_EQ(table.description[0][0], '\0');
    EXPECT_EQ(table.port, 5566);
    EXPECT_EQ(endpoint->adapterList.get(), nullptr);
    RefreshNicTable(&table, nullptr);  // no endpoint: empty, no crash
    EXPECT_EQ(table.count, 0);
}

TEST(RemoteNotify, LoopbackEntryBroadcastsSeventeenBytesToItsSubnet) {
    WinsockScope winsock;
    UdpSocket listener(INADDR_ANY, 0);  // a broadcast reaches only sockets bound to every address
    ASSERT_TRUE(listener.valid());
    // The loopback entry: 127.0.0.1/255.0.0.0 broadcasts to 127.255.255.255.
    ASSERT_EQ(rmct::DirectedBroadcast(0x7F000001u, 0xFF000000u), 0x7FFFFFFFu);
    const int passedBefore = sim::net::PassedSends();
    ASSERT_EQ(SendNotifyBroadcast(0xFF000000u, 0x7F000001u, listener.port(), rmct::kNotifyText,
                                  rmct::kNotifyLength),
              S_OK);
    // The listener hears the adapter's own address as well, so the
    // destination is read from the seam: the subnet's broadcast address.
    sockaddr_in to = {};
    ASSERT_EQ(sim::net::PassedSends(&to) - passedBefore, 1);
    EXPECT_EQ(ntohl(to.sin_addr.s_addr), 0x7FFFFFFFu);
    EXPECT_EQ(ntohs(to.sin_port), listener.port());
    char buffer[64] = {};
    const int got = listener.Receive(buffer, sizeof(buffer), 5000);
    ASSERT_EQ(got, 17);
    EXPECT_EQ(std::memcmp(buffer, "KestTechNotifyBC", 16), 0);
    EXPECT_EQ(buffer[16], '\0');
}

TEST(RemoteNotify, SeamRefusesEveryDestinationOutsideLoopback) {
    WinsockScope winsock;
    // 0.0.0.0 lies outside 127.0.0.0/8 yet would stay on this machine if the
    // seam ever let it through; the listener proves nothing went out.
    UdpSocket listener(INADDR_ANY, 0);
    UdpSocket s(INADDR_ANY, 0);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_ANY);
    to.sin_port = htons(listener.port());
    const int refusedBefore = sim::net::RefusedSends();
    EXPECT_EQ(
        platform::sendto(s.get(), "x", 1, 0, reinterpret_cast<const sockaddr*>(&to), sizeof(to)),
        SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEACCES);
    EXPECT_EQ(platform::sendto(s.get(), "x", 1, 0, nullptr, 0), SOCKET_ERROR);
    EXPECT_EQ(sim::net::RefusedSends() - refusedBefore, 2);
    char buffer[4];
    EXPECT_EQ(listener.Receive(buffer, sizeof(buffer), 200), -1);
    // An empty table's notify would go out of every interface: only computed.
    EXPECT_EQ(rmct::DirectedBroadcast(0, 0), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace remote_test
