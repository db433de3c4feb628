#include "cpl/remote/nic_table.h"

#include <cstdio>
#include <cstring>

namespace rmct {

bool ParseDottedQuad(const char* text, size_t size, uint32_t* networkOrder) {
    if (text == nullptr || networkOrder == nullptr) return false;
    uint8_t octets[4] = {};
    size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= size || text[pos] != '.') return false;
            ++pos;
        }
        unsigned value = 0;
        int digits = 0;
        while (pos < size && text[pos] >= '0' && text[pos] <= '9' && digits < 3) {
            value = value * 10 + static_cast<unsigned>(text[pos] - '0');
            ++pos;
            ++digits;
        }
        if (digits == 0 || value > 255) return false;
        octets[part] = static_cast<uint8_t>(value);
    }
    if (pos < size && text[pos] != '\0') return false;
    std::memcpy(networkOrder, octets, sizeof(octets));
    return true;
}

uint32_t NetworkToHost(uint32_t networkOrder) {
    uint8_t b[4];
    std::memcpy(b, &networkOrder, sizeof(b));
    return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

uint32_t HostToNetwork(uint32_t hostOrder) {
    const uint8_t b[4] = {static_cast<uint8_t>(hostOrder >> 24),
                          static_cast<uint8_t>(hostOrder >> 16),
                          static_cast<uint8_t>(hostOrder >> 8), static_cast<uint8_t>(hostOrder)};
    uint32_t value;
    std::memcpy(&value, b, sizeof(value));
    return value;
}

uint32_t DirectedBroadcast(uint32_t addressHost, uint32_t maskHost) {
    return (addressHost & maskHost) | ~maskHost;
}

void FormatDottedQuad(uint32_t networkOrder, char* out, size_t outSize) {
    if (out == nullptr || outSize == 0) return;
    uint8_t b[4];
    std::memcpy(b, &networkOrder, sizeof(b));
    std::snprintf(out, outSize, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
}

void InitNicTable(RmctNicTable& table, uint16_t port) {
    std::memset(&table, 0, sizeof(table));
    table.port = port;
}

void ClearNicTable(RmctNicTable& table) {
    const uint16_t port = table.port;
    std::memset(&table, 0, sizeof(table));
    table.port = port;
}

int AddAdapter(RmctNicTable& table, const AdapterView& adapter) {
    if (table.count < 0 || table.count >= kMaxAdapters) return -1;
    uint32_t address = 0;
    if (!ParseDottedQuad(adapter.address, adapter.addressSize, &address) || address == 0) return -1;
    // A mask the system wrote in a form we do not read makes the adapter its
    // own subnet: the broadcast then goes to the address itself.
    uint32_t mask = 0xFFFFFFFFu;
    if (!ParseDottedQuad(adapter.mask, adapter.maskSize, &mask)) mask = 0xFFFFFFFFu;

    const int i = table.count;
    table.type[i] = adapter.type;
    table.address[i] = address;
    table.mask[i] = mask;
    char* desc = table.description[i];
    std::memset(desc, 0, kDescriptionSize);
    if (adapter.description != nullptr) {
        size_t n = 0;
        while (n < adapter.descriptionSize && n < kDescriptionSize - 1 &&
               adapter.description[n] != '\0')
            ++n;
        std::memcpy(desc, adapter.description, n);
    }
    table.count = i + 1;
    return i;
}

bool CopyTableIn(const RmctNicTable& page, RmctNicTable& dialog) {
    if (page.count <= 0 || page.count > kMaxAdapters || page.selected < 0 ||
        page.selected >= kMaxAdapters)
        return false;
    ClearNicTable(dialog);
    const size_t n = static_cast<size_t>(page.count);
    std::memcpy(dialog.type, page.type, n * sizeof(page.type[0]));
    std::memcpy(dialog.address, page.address, n * sizeof(page.address[0]));
    std::memcpy(dialog.mask, page.mask, n * sizeof(page.mask[0]));
    std::memcpy(dialog.description, page.description, n * sizeof(page.description[0]));
    dialog.count = page.count;
    dialog.selected = page.selected;
    dialog.port = page.port;
    return true;
}

void CopyTableOut(const RmctNicTable& dialog, RmctNicTable& page) {
    std::memset(&page, 0, sizeof(page));
    int32_t count = dialog.count;
    if (count < 0) count = 0;
    if (count > kMaxAdapters) count = kMaxAdapters;
    const size_t n = static_cast<size_t>(count);
    std::memcpy(page.type, dialog.type, n * sizeof(dialog.type[0]));
    std::memcpy(page.address, dialog.address, n * sizeof(dialog.address[0]));
    std::memcpy(page.mask, dialog.mask, n * sizeof(dialog.mask[0]));
    std::memcpy(page.description, dialog.description, n * sizeof(dialog.description[0]));
    page.count = count;
    page.selected = dialog.selected;
    page.port = dialog.port;
}

bool SelectedAddressText(const RmctNicTable& table, char* out, size_t outSize) {
    if (table.count < 1 || table.count > kMaxAdapters || table.selected < 0 ||
        table.selected >= table.count)
        return false;
    FormatDottedQuad(table.address[table.selected], out, outSize);
    return true;
}

}  // namespace rmct
