#pragma once
// The network part of the platform seam: the adapter list and the one send
// the control panel makes to an address it computed. Same names and
// parameters as the Winsock and IP helper calls. Sockets, binds and receives
// on the service port go to Winsock directly: they never choose a
// destination.

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
// clang-format on

namespace platform {

ULONG GetAdaptersInfo(PIP_ADAPTER_INFO AdapterInfo, PULONG SizePointer);

int sendto(SOCKET s, const char* buf, int len, int flags, const struct sockaddr* to, int tolen);

}  // namespace platform
