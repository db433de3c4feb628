
// Winsock must come before any other Windows header.
// clang-format off
#include <winsock2.h>
// clang-format on

#include "common/socket_owners.h"
#include "cpl/remote/rmct_endpoint.h"
#include "platform/net.h"

HRESULT SendNotifyBroadcast(uint32_t mask, uint32_t address, uint16_t port, const char* payload,
                            int length) {
    if (payload == nullptr || length < 0) return E_FAIL;
    WSADATA wsa;
    const veltrano::UniqueWinsockUse winsock(WSAStartup(MAKEWORD(2, 2), &wsa) == 0);
    if (!winsock) return E_FAIL;
    // Declared after the Winsock use, so closed before it ends.
    const veltrano::UniqueSocket s(socket(AF_INET, SOCK_DGRAM, 0));
    if (!s) return E_FAIL;
    const BOOL on = TRUE;
    // Without the broadcast option the send would be refused; that is a
    // failure too, not a quiet success.
    if (setsockopt(s.get(), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on),
                   sizeof(on)) != 0) {
        return E_FAIL;
    }
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(rmct::DirectedBroadcast(address, mask));
    if (platform::sendto(s.get(), payload, length, 0, reinterpret_cast<const sockaddr*>(&to),
                         sizeof(to)) == SOCKET_ERROR) {
        return E_FAIL;
    }
    return S_OK;
}
