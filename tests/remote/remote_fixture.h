#pragma once
// Helpers of the remote-control tests: a window that records what the
// service delivers, loopback sockets and message pumping with a deadline.

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cpl/remote/rmct_endpoint.h"

namespace remote_test {

struct Delivery {
    WPARAM index = 0;
    const BYTE* pointer = nullptr;
    std::array<BYTE, rmct::kSlotSize> slot{};
};

// A hidden window of the calling thread that records every
// WM_CPL_REMOTE_PACKET. `onPacket`, when set, runs inside the handler.
class PacketSink {
public:
    PacketSink();
    ~PacketSink();
    HWND hwnd() const { return hwnd_; }
    std::vector<Delivery> deliveries;
    std::function<void(WPARAM, const BYTE*)> onPacket;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    HWND hwnd_ = nullptr;
};

// Handles this thread's messages until `done` holds or `timeoutMs` passed.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);
void PumpFor(DWORD ms);

class WinsockScope {
public:
    WinsockScope();
    ~WinsockScope();
};

// A UDP socket bound to `address` (host order) and `port` (0: the system picks).
class UdpSocket {
public:
    UdpSocket(uint32_t address, uint16_t port);
    ~UdpSocket();
    bool valid() const { return s_ != INVALID_SOCKET; }
    uint16_t port() const;
    // To 127.0.0.1 only.
    bool SendToLoopback(uint16_t port, const void* data, int length);
    // -1 on timeout or error; fills `from` when given.
    int Receive(void* buffer, int size, DWORD timeoutMs, sockaddr_in* from = nullptr);
    SOCKET get() const { return s_; }

private:
    SOCKET s_ = INVALID_SOCKET;
};

// A port nothing is bound to right now (on every address).
uint16_t FreePort();

// Checks the slot layout: sender 127.0.0.1 at `senderPort`, bytes 16..31 zero,
// `payload` at 32, zero after it. Empty on success, else what differs.
std::string CheckSlot(const BYTE* slot, uint16_t senderPort, const std::vector<BYTE>& payload);


}  // namespace remote_test
