#include "platform/net.h"

namespace platform {

ULONG GetAdaptersInfo(PIP_ADAPTER_INFO AdapterInfo, PULONG SizePointer) {
    return ::GetAdaptersInfo(AdapterInfo, SizePointer);
}

int sendto(SOCKET s, const char* buf, int len, int flags, const struct sockaddr* to, int tolen) {
    return ::sendto(s, buf, len, flags, to, tolen);
}

}  // namespace platform
