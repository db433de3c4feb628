#pragma once
// The virtual machine network behind the network seam in tests and `_sim`
// builds: an adapter list whose addresses all lie in 127.0.0.0/8, and a send
// that refuses every destination outside 127.0.0.0/8. Nothing a test does
// through the seam can leave this machine.

#include <string>
#include <vector>

#include "platform/net.h"

namespace sim::net {

struct VirtualAdapter {
    std::string description;
    std::string address;  // dotted text, as the system reports it
    std::string mask;
    UINT type = MIB_IF_TYPE_ETHERNET;
};

// The list a fresh process sees: the loopback adapter 127.0.0.1/255.0.0.0
// first, one adapter without an address (0.0.0.0), then seventeen more
// 127.x adapters with assorted masks, so more than sixteen have addresses.
std::vector<VirtualAdapter> DefaultAdapters();

// Replaces the list (an empty list makes GetAdaptersInfo report no data).
void SetAdapters(std::vector<VirtualAdapter> adapters);
void ResetAdapters();

// The next GetAdaptersInfo call fails with `error` and changes nothing.
void FailNextAdaptersInfo(ULONG error);

// `adapter` joins the list right after the next GetAdaptersInfo call is
// answered, as when a network interface appears between a caller's sizing
// call and its second call.
void AddAdapterAfterNextCall(VirtualAdapter adapter);

// Number of GetAdaptersInfo calls answered, and of sends the seam refused.
int AdaptersInfoCalls();
int RefusedSends();
// Number of sends the seam let through, and where the last one went.
int PassedSends(sockaddr_in* lastDestination = nullptr);

}  // namespace sim::net
