// The real network seam: the system's adapter list is only read, and the
// one send goes to a loopback listener.
// Winsock must come before any other Windows header.
// clang-format off
#include "remote_fixture.h"
// clang-format on

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "platform/net.h"

namespace remote_test {
namespace {

// The IPv4 adapters the system reports through its other listing, with their
// first unicast address and its mask (network order). The loopback adapter is
// reported there but never by the adapter listing the table is built from, on
// Windows as under Wine.
struct SystemAdapters {
    std::set<std::pair<uint32_t, uint32_t>> addressed;  // (address, mask), loopback excluded
    bool loopbackListed = false;
};

SystemAdapters ListSystemAdapters() {
    SystemAdapters out;
    ULONG size = 16 * 1024;
    std::vector<BYTE> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.assign(size, 0);
        result = GetAdaptersAddresses(
            AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
            nullptr, reinterpret_cast<PIP_ADAPTER_ADDRESSES>(buffer.data()), &size);
    }
    EXPECT_EQ(result, static_cast<ULONG>(NO_ERROR));
    if (result != NO_ERROR) return out;
    for (auto* a = reinterpret_cast<PIP_ADAPTER_ADDRESSES>(buffer.data()); a != nullptr;
         a = a->Next) {
        if (a->IfType == IF_TYPE_SOFTWARE_LOOPBACK) {
            out.loopbackListed = true;
            continue;
        }
        const IP_ADAPTER_UNICAST_ADDRESS* first = a->FirstUnicastAddress;
        if (first == nullptr || first->Address.lpSockaddr->sa_family != AF_INET) continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(first->Address.lpSockaddr);
        const uint8_t prefix = first->OnLinkPrefixLength;
        const uint32_t mask = prefix == 0 ? 0 : htonl(0xFFFFFFFFu << (32 - prefix));
        if (in->sin_addr.s_addr != 0) out.addressed.insert({in->sin_addr.s_addr, mask});
    }
    return out;
}

// The table holds exactly the addressed adapters the system reports, the
// first sixteen of them, and no loopback entry; the listing succeeds
// whenever there is one.
TEST(RemotePlatformReal, AdapterTableHoldsTheSystemsAddressedAdaptersAndNoLoopback) {
    const SystemAdapters system = ListSystemAdapters();
    ASSERT_TRUE(system.loopbackListed) << "the system's loopback adapter is missing";
    RmctEndpoint* endpoint = CreateRmctEndpoint(nullptr);
    int count = -1;
    const BOOL listed = EnumAdapters(endpoint, &count);
    if (system.addressed.empty()) {
        // Nothing but loopback: the listing reports no data.
        EXPECT_FALSE(listed);
        EXPECT_EQ(count, 0);
    } else {
        EXPECT_TRUE(listed);
        EXPECT_GE(count, static_cast<int>(system.addressed.size()));
        EXPECT_NE(endpoint->adapterList.get(), nullptr);
    }
    RmctNicTable table;
    rmct::InitNicTable(table, rmct::kDefaultPort);
    RefreshNicTable(&table, endpoint);
    const size_t expected = std::min<size_t>(system.addressed.size(), rmct::kMaxAdapters);
    EXPECT_EQ(static_cast<size_t>(table.count), expected);
    for (int i = 0; i < table.count; ++i) {
        EXPECT_EQ(system.addressed.count({table.address[i], table.mask[i]}), 1u)
            << "entry " << i << " " << table.description[i];
        EXPECT_NE(table.address[i] & 0xFF, 127u) << "a loopback entry";
        EXPECT_NE(std::memchr(table.description[i], 0, rmct::kDescriptionSize), nullptr);
    }
    EXPECT_EQ(table.port, rmct::kDefaultPort);
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
