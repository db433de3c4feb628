#include "remote_fixture.h"

#include <cstring>

namespace remote_test {

namespace {
constexpr char kSinkClass[] = "VeltranoRemoteTestSink";
}

PacketSink::PacketSink() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kSinkClass;
    RegisterClassA(&wc);  // fails harmlessly when already registered
    hwnd_ = CreateWindowExA(0, kSinkClass, "sink", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                            wc.hInstance, this);
}

PacketSink::~PacketSink() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

LRESULT CALLBACK PacketSink::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        SetWindowLongPtrA(
            hwnd, GWLP_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
    }
    PacketSink* self = reinterpret_cast<PacketSink*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (message == veltrano::cpl::WM_CPL_REMOTE_PACKET && self != nullptr) {
        const BYTE* slot = reinterpret_cast<const BYTE*>(lParam);
        Delivery d;
        d.index = wParam;
        d.pointer = slot;
        std::memcpy(d.slot.data(), slot, rmct::kSlotSize);
        self->deliveries.push_back(d);
        if (self->onPacket) self->onPacket(wParam, slot);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (done()) return true;
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return false;
        const DWORD left = timeoutMs - elapsed;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, left < 10 ? left : 10, QS_ALLINPUT);
    }
}

void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

WinsockScope::WinsockScope() {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
}

WinsockScope::~WinsockScope() { WSACleanup(); }

UdpSocket::UdpSocket(uint32_t address, uint16_t port) {
    s_ = socket(AF_INET, SOCK_DGRAM, 0);
    if (s_ == INVALID_SOCKET) return;
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(address);
    local.sin_port = htons(port);
    if (bind(s_, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0) {
        closesocket(s_);
        s_ = INVALID_SOCKET;
    }
}

UdpSocket::~UdpSocket() {
    if (s_ != INVALID_SOCKET) closesocket(s_);
}

uint16_t UdpSocket::port() const {
    sockaddr_in local = {};
    int length = sizeof(local);
    if (getsockname(s_, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
    return ntohs(local.sin_port);
}

bool UdpSocket::SendToLoopback(uint16_t port, const void* data, int length) {
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    return sendto(s_, static_cast<const char*>(data), length, 0,
                  reinterpret_cast<const sockaddr*>(&to), sizeof(to)) == length;
}

int UdpSocket::Receive(void* buffer, int size, DWORD timeoutMs, sockaddr_in* from) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s_, &set);
    timeval tv = {static_cast<long>(timeoutMs / 1000),
                  static_cast<long>((timeoutMs % 1000) * 1000)};
    if (select(0, &set, nullptr, nullptr, &tv) != 1) return -1;
    sockaddr_in sender = {};
    int senderLength = sizeof(sender);
    const int got = recvfrom(s_, static_cast<char*>(buffer), size, 0,
                             reinterpret_cast<sockaddr*>(&sender), &senderLength);
    if (from != nullptr) *from = sender;
    return got;
}

uint16_t FreePort() {
    UdpSocket probe(INADDR_ANY, 0);
    return probe.port();
}

std::string CheckSlot(const BYTE* slot, uint16_t senderPort, const std::vector<BYTE>& payload) {
    sockaddr_in sender;
    std::memcpy(&sender, slot, sizeof(sender));
    if (sender.sin_family != AF_INET) return "family " + std::to_string(sender.sin_family);
    if (ntohl(sender.sin_addr.s_addr) != INADDR_LOOPBACK) return "sender address";
    if (ntohs(sender.sin_port) != senderPort)
        return "sender port " + std::to_string(ntohs(sender.sin_port));
    for (size_t i = 8; i < rmct::kPayloadOffset; ++i)
        if (slot[i] != 0) return "byte " + std::to_string(i) + " not zero";
    if (payload.size() > rmct::kMaxPayload) return "payload too long for a slot";
    if (!payload.empty() &&
        std::memcmp(slot + rmct::kPayloadOffset, payload.data(), payload.size()) != 0)
        return "payload differs";
    for (size_t i = rmct::kPayloadOffset + payload.size(); i < rmct::kSlotSize; ++i)
        if (slot[i] != 0) return "byte " + std::to_string(i) + " after the payload not zero";
    return {};
}

}  // namespace remote_test
