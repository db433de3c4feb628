#include "sim/net/virtual_net.h"

#include <cstdio>
#include <cstring>
#include <mutex>

namespace sim::net {
namespace {

struct State {
    std::mutex lock;
    std::vector<VirtualAdapter> adapters = DefaultAdapters();
    ULONG failNext = NO_ERROR;
    std::vector<VirtualAdapter> pendingAdds;
    int calls = 0;
    int refused = 0;
    int passed = 0;
    sockaddr_in lastTo = {};
};

State& TheState() {
    static State state;
    return state;
}

void CopyText(char* field, size_t size, const std::string& text) {
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), text.size() < size ? text.size() : size - 1);
}

void FillRecord(IP_ADAPTER_INFO& rec, const VirtualAdapter& a, DWORD index) {
    std::memset(&rec, 0, sizeof(rec));
    std::snprintf(rec.AdapterName, sizeof(rec.AdapterName), "{5A1E0000-0000-4000-8000-%012lX}",
                  static_cast<unsigned long>(index));
    CopyText(rec.Description, sizeof(rec.Description), a.description);
    rec.AddressLength = 6;
    const BYTE mac[6] = {0x02, 0x00, 0x5E, 0x10, 0x00, static_cast<BYTE>(index)};
    std::memcpy(rec.Address, mac, sizeof(mac));
    rec.Index = index;
    rec.Type = a.type;
    CopyText(rec.IpAddressList.IpAddress.String, sizeof(rec.IpAddressList.IpAddress.String),
             a.address);
    CopyText(rec.IpAddressList.IpMask.String, sizeof(rec.IpAddressList.IpMask.String), a.mask);
    CopyText(rec.GatewayList.IpAddress.String, sizeof(rec.GatewayList.IpAddress.String), "0.0.0.0");
    CopyText(rec.GatewayList.IpMask.String, sizeof(rec.GatewayList.IpMask.String), "0.0.0.0");
}

bool IsLoopback(const struct sockaddr* to, int tolen) {
    if (to == nullptr || tolen < static_cast<int>(sizeof(sockaddr_in))) return false;
    sockaddr_in in;
    std::memcpy(&in, to, sizeof(in));
    if (in.sin_family != AF_INET) return false;
    const BYTE* octets = reinterpret_cast<const BYTE*>(&in.sin_addr.s_addr);
    return octets[0] == 127;
}

}  // namespace

std::vector<VirtualAdapter> DefaultAdapters() {
    std::vector<VirtualAdapter> list;
    list.push_back({"Virtual Loopback Adapter", "127.0.0.1", "255.0.0.0", MIB_IF_TYPE_LOOPBACK});
    list.push_back({"Virtual Disconnected Adapter", "0.0.0.0", "0.0.0.0", MIB_IF_TYPE_ETHERNET});
    static const char* const kMasks[] = {"255.255.0.0",     "255.255.255.0", "255.255.255.252",
                                         "255.255.255.255", "255.255.240.0", "255.128.0.0"};
    for (int i = 1; i <= 17; ++i) {
        char desc[64], addr[16];
        std::snprintf(desc, sizeof(desc), "Virtual Network Adapter #%d", i);
        std::snprintf(addr, sizeof(addr), "127.%d.%d.%d", 10 + i, i, 1 + i);
        list.push_back({desc, addr, kMasks[i % 6],
                        i % 3 == 0 ? UINT{IF_TYPE_IEEE80211} : UINT{MIB_IF_TYPE_ETHERNET}});
    }
    return list;
}

void SetAdapters(std::vector<VirtualAdapter> adapters) {
    State& s = TheState();
    std::lock_guard<std::mutex> g(s.lock);
    s.adapters = std::move(adapters);
}

void ResetAdapters() {
    State& s = TheState();
    std::lock_guard<std::mutex> g(s.lock);
    s.adapters = DefaultAdapters();
    s.failNext = NO_ERROR;
    s.pendingAdds.clear();
}

void FailNextAdaptersInfo(ULONG error) {
    State& s = TheState();
    std::lock_guard<std::mutex> g(s.lock);
    s.failNext = error;
}

void AddAdapterAfterNextCall(VirtualAdapter adapter) {
    State& s = TheState();
    std::lock_guard<std::mutex> g(s.lock);
    s.pendingAdds.push_back(std::move(adapter));
}

int AdaptersInfoCalls() {
    State& s = TheState();
    std::lock_guard<std::mutex> g(s.lock);
    return s.calls;
}

int RefusedSends() {
    State& s = TheState();
    std::lock_guard<std::mutex> g(s.lock);
    return s.refused;
}

int PassedSends(sockaddr_in* lastDestination) {
    State& s = TheState();
    std::lock_guard<std::mutex> g(s.lock);
    if (lastDestination != nullptr) *lastDestination = s.lastTo;
    return s.passed;
}

}  // namespace sim::net

namespace platform {

// Answers as the system does: the size check before anything is written,
// ERROR_BUFFER_OVERFLOW with the needed size, ERROR_NO_DATA for no adapters.
ULONG GetAdaptersInfo(PIP_ADAPTER_INFO AdapterInfo, PULONG SizePointer) {
    sim::net::State& s = sim::net::TheState();
    std::lock_guard<std::mutex> g(s.lock);
    ++s.calls;
    if (s.failNext != NO_ERROR) {
        const ULONG e = s.failNext;
        s.failNext = NO_ERROR;
        return e;
    }
    struct JoinAfter {
        sim::net::State& s;
        ~JoinAfter() {
            for (auto& a : s.pendingAdds) s.adapters.push_back(std::move(a));
            s.pendingAdds.clear();
        }
    } join{s};
    if (SizePointer == nullptr) return ERROR_INVALID_PARAMETER;
    if (s.adapters.empty()) return ERROR_NO_DATA;
    const ULONG needed = static_cast<ULONG>(s.adapters.size() * sizeof(IP_ADAPTER_INFO));
    if (AdapterInfo == nullptr || *SizePointer < needed) {
        *SizePointer = needed;
        return ERROR_BUFFER_OVERFLOW;
    }
    for (size_t i = 0; i < s.adapters.size(); ++i) {
        sim::net::FillRecord(AdapterInfo[i], s.adapters[i], static_cast<DWORD>(i + 1));
        AdapterInfo[i].Next = i + 1 < s.adapters.size() ? &AdapterInfo[i + 1] : nullptr;
    }
    return NO_ERROR;
}

int sendto(SOCKET s, const char* buf, int len, int flags, const struct sockaddr* to, int tolen) {
    if (!sim::net::IsLoopback(to, tolen)) {
        sim::net::State& st = sim::net::TheState();
        {
            std::lock_guard<std::mutex> g(st.lock);
            ++st.refused;
        }
        WSASetLastError(WSAEACCES);
        return SOCKET_ERROR;
    }
    {
        sim::net::State& st = sim::net::TheState();
        std::lock_guard<std::mutex> g(st.lock);
        ++st.passed;
        std::memcpy(&st.lastTo, to, sizeof(st.lastTo));
    }
    return ::sendto(s, buf, len, flags, to, tolen);
}

}  // namespace platform
