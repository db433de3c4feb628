#include "setup/driver_lists.h"

#include <cstdio>

#include "setup/setup_text.h"

namespace veltrano::setup {

namespace {

DriverEntry MakeEntry(const SupportedDevice& device, unsigned interfaceNumber, const char* service) {
    char id[64];
    std::snprintf(id, sizeof id, "USB\\VID_%04X&PID_%04X&MI_%02X", device.vendorId, device.productId,
                  interfaceNumber);
    return DriverEntry{id, service, std::string(service) + ".inf", std::string(service) + ".sys"};
}

}  // namespace

std::vector<DriverEntry> BuildDriverLists(const SupportedDeviceTableType& table) {
    std::vector<DriverEntry> entries;
    const int count = SupportedDeviceCount(table);
    for (int i = 0; i < count; ++i) {
        entries.push_back(MakeEntry(table[i], table[i].interfaceNumber, kAudioService));
    }
    for (int i = 0; i < count; ++i) {
        entries.push_back(MakeEntry(table[i], 6, kInterface6Service));
    }
    return entries;
}

std::vector<InstallItem> BuildInstallList(const std::vector<DriverEntry>& entries,
                                          std::string_view driverFolder) {
    std::vector<InstallItem> items;
    for (const DriverEntry& entry : entries) {
        bool known = false;
        for (const InstallItem& item : items) {
            if (StartsWithNoCase(entry.service, item.service)) known = true;
        }
        if (known) continue;
        std::string folder(driverFolder);
        folder += '\\';
        items.push_back({entry.service, JoinPath(folder, entry.infName).value_or("")});
    }
    return items;
}

bool InfLineNamesService(std::string_view line, const std::vector<InstallItem>& items) {
    const std::string upper = UpperAscii(line);
    for (const InstallItem& item : items) {
        if (!item.service.empty() && upper.find(UpperAscii(item.service)) != std::string::npos) {
            return true;
        }
    }
    return false;
}

std::string DriverFileOf(const std::vector<DriverEntry>& entries, std::string_view service) {
    for (const DriverEntry& entry : entries) {
        if (entry.service.size() == service.size() && StartsWithNoCase(entry.service, service)) {
            return entry.driverFile;
        }
    }
    return {};
}

bool FileListHas(std::string_view list, std::string_view name) {
    if (name.empty()) return false;
    while (true) {
        const size_t end = list.find(';');
        const std::string_view item = list.substr(0, end);
        if (item.size() == name.size() && StartsWithNoCase(item, name)) return true;
        if (end == std::string_view::npos) return false;
        list.remove_prefix(end + 1);
    }
}

std::string AddToFileList(std::string_view list, std::string_view name) {
    std::string out(list);
    if (name.empty() || FileListHas(list, name)) return out;
    if (!out.empty()) out += ';';
    out += name;
    return out;
}

}  // namespace veltrano::setup
