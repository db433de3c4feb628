// Adapter records come from the system as fixed-size text fields. Any bytes
// in them must give a table whose count, entries and texts stay in bounds.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "cpl/remote/nic_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RmctNicTable table;
    rmct::InitNicTable(table, rmct::kDefaultPort);
    size_t pos = 0;
    // Each record: three length bytes, then the three fields, cut to what is left.
    while (pos + 3 <= size) {
        const size_t lengths[3] = {size_t{data[pos]} % 20, size_t{data[pos + 1]} % 20,
                                   size_t{data[pos + 2]}};
        pos += 3;
        std::vector<char> fields[3];
        for (int f = 0; f < 3; ++f) {
            const size_t n = lengths[f] < size - pos ? lengths[f] : size - pos;
            fields[f].assign(reinterpret_cast<const char*>(data + pos),
                             reinterpret_cast<const char*>(data + pos + n));
            pos += n;
        }
        rmct::AdapterView v;
        v.type = static_cast<uint32_t>(pos);
        v.address = fields[0].data();
        v.addressSize = fields[0].size();
        v.mask = fields[1].data();
        v.maskSize = fields[1].size();
        v.description = fields[2].data();
        v.descriptionSize = fields[2].size();
        const int index = rmct::AddAdapter(table, v);
        if (index >= 0) {
            uint32_t parsed = 0;
            if (!rmct::ParseDottedQuad(v.address, v.addressSize, &parsed) || parsed == 0 ||
                parsed != table.address[index])
                __builtin_trap();
        }
        if (table.count < 0 || table.count > rmct::kMaxAdapters) __builtin_trap();
    }
    for (int i = 0; i < rmct::kMaxAdapters; ++i) {
        if (std::memchr(table.description[i], 0, rmct::kDescriptionSize) == nullptr)
            __builtin_trap();
        char text[16];
        rmct::FormatDottedQuad(table.address[i], text, sizeof(text));
        if (std::strlen(text) > 15) __builtin_trap();
    }
    RmctNicTable dialog;
    rmct::InitNicTable(dialog, rmct::kDefaultPort);
    table.selected = size > 0 ? static_cast<int8_t>(data[0]) : 0;
    if (rmct::CopyTableIn(table, dialog) &&
        (dialog.count != table.count || dialog.selected >= rmct::kMaxAdapters))
        __builtin_trap();
    rmct::CopyTableOut(dialog, table);
    char text[16];
    rmct::SelectedAddressText(table, text, sizeof(text));
    return 0;
}
