// Winsock must come before any other Windows header.
// clang-format off
#include "platform/net.h"
// clang-format on

#include <cstring>

#include "cpl/remote/rmct_endpoint.h"

namespace {

// More than any machine has; a reported size beyond it is not believed.
constexpr ULONG kMaxAdapterListBytes = 4u << 20;

void ReleaseAdapterList(RmctEndpoint* endpoint) { endpoint->adapterList.Reset(); }

// A fixed block: GlobalAlloc's handle is the block's address.
BYTE* AllocateFixed(SIZE_T bytes) { return static_cast<BYTE*>(GlobalAlloc(GPTR, bytes)); }

PIP_ADAPTER_INFO AdapterRecords(const RmctEndpoint* endpoint) {
    return reinterpret_cast<PIP_ADAPTER_INFO>(endpoint->adapterList.get());
}

// Follows the chain only through records that lie whole inside the buffer,
// so a broken link ends the walk instead of reading outside it.
template <typename Visit>
int WalkChain(const void* list, Visit visit) {
    if (list == nullptr) return 0;
    const SIZE_T bytes = GlobalSize(const_cast<HGLOBAL>(list));
    const BYTE* begin = static_cast<const BYTE*>(list);
    const BYTE* end = begin + bytes;
    const SIZE_T limit = bytes / sizeof(IP_ADAPTER_INFO);
    const IP_ADAPTER_INFO* rec = static_cast<const IP_ADAPTER_INFO*>(list);
    int n = 0;
    while (rec != nullptr && static_cast<SIZE_T>(n) < limit) {
        const BYTE* p = reinterpret_cast<const BYTE*>(rec);
        if (p < begin || p + sizeof(IP_ADAPTER_INFO) > end) break;
        visit(*rec);
        ++n;
        rec = rec->Next;
    }
    return n;
}

}  // namespace

BOOL EnumAdapters(RmctEndpoint* endpoint, int* count) {
    if (count != nullptr) *count = 0;
    if (endpoint == nullptr) return FALSE;
    ReleaseAdapterList(endpoint);

    ULONG size = sizeof(IP_ADAPTER_INFO);
    endpoint->adapterList.Reset(AllocateFixed(size));
    if (!endpoint->adapterList) return FALSE;
    ULONG result =
        platform::GetAdaptersInfo(AdapterRecords(endpoint), &size);
    if (result == ERROR_BUFFER_OVERFLOW) {
        ReleaseAdapterList(endpoint);
        if (size < sizeof(IP_ADAPTER_INFO) || size > kMaxAdapterListBytes) return FALSE;
        endpoint->adapterList.Reset(AllocateFixed(size));
        if (!endpoint->adapterList) return FALSE;
        result =
            platform::GetAdaptersInfo(AdapterRecords(endpoint), &size);
    } else if (result == NO_ERROR) {
        result =
            platform::GetAdaptersInfo(AdapterRecords(endpoint), &size);
    }
    if (result != NO_ERROR) {
        ReleaseAdapterList(endpoint);
        return FALSE;
    }
    const int n = WalkChain(endpoint->adapterList.get(), [](const IP_ADAPTER_INFO&) {});
    if (count != nullptr) *count = n;
    return TRUE;
}

void RefreshNicTable(RmctNicTable* table, RmctEndpoint* endpoint, HWND comboBox) {
    if (table == nullptr) return;
    rmct::ClearNicTable(*table);
    int count = 0;
    if (!EnumAdapters(endpoint, &count)) return;
    WalkChain(endpoint->adapterList.get(), [&](const IP_ADAPTER_INFO& rec) {
        rmct::AdapterView view;
        view.type = rec.Type;
        view.address = rec.IpAddressList.IpAddress.String;
        view.addressSize = sizeof(rec.IpAddressList.IpAddress.String);
        view.mask = rec.IpAddressList.IpMask.String;
        view.maskSize = sizeof(rec.IpAddressList.IpMask.String);
        view.description = rec.Description;
        view.descriptionSize = sizeof(rec.Description);
        const int index = rmct::AddAdapter(*table, view);
        if (index >= 0 && comboBox != nullptr)
            SendMessageA(comboBox, CB_INSERTSTRING, static_cast<WPARAM>(index),
                         reinterpret_cast<LPARAM>(table->description[index]));
    });
}
