
// Winsock must come before any other Windows header.
// clang-format off
#include <winsock2.h>
// clang-format on

#include "cpl/remote/rmct_endpoint.h"
#include "platform/net.h"

HRESULT SendNotifyBroadcast(uint32_t mask, uint32_t address, uint16_t port, const char* payload,
                            int length) {
    if (payload == nullptr || length < 0) return E_FAIL;
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return E_FAIL;
    HRESULT result = E_FAIL;
    const SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s != INVALID_SOCKET) {
        const BOOL on = TRUE;
        // Without the broadcast option the send would be refused; that is a
        // failure too, not a quiet success.
        if (setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on),
                       sizeof(on)) == 0) {
            sockaddr_in to = {};
            to.sin_family = AF_INET;
            to.sin_port = htons(port);
            to.sin_addr.s_addr = htonl(rmct::DirectedBroadcast(address, mask));
            if (platform::sendto(s, payload, length, 0, reinterpret_cast<const sockaddr*>(&to),
                                 sizeof(to)) != SOCKET_ERROR)
                result = S_OK;
        }
        closesocket(s);
    }
    WSACleanup();
    return result;
}
