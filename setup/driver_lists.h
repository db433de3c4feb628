#pragma once
// The driver lists the driver task works from, built from the
// accepted-devices table: per table entry one hardware ID for the audio
// function (with the entry's own interface number), then one per entry for
// the function on interface 6.

#include <string>
#include <string_view>
#include <vector>

#include "common/device_table.h"

namespace veltrano::setup {

inline constexpr char kAudioService[] = "VelHdUAC";
inline constexpr char kInterface6Service[] = "VelHdiAP";

struct DriverEntry {
    std::string hardwareId;  // USB\VID_vvvv&PID_pppp&MI_ii
    std::string service;
    std::string infName;
    std::string driverFile;
};

std::vector<DriverEntry> BuildDriverLists(const SupportedDeviceTableType& table);

// The distinct services in list order, each with its INF path
// (driverFolder + "\" + INF name). Paths too long for the platform's
// buffers are left empty; such an entry is never installed.
struct InstallItem {
    std::string service;
    std::string infPath;
};
std::vector<InstallItem> BuildInstallList(const std::vector<DriverEntry>& entries,
                                          std::string_view driverFolder);

// Whether an INF line names one of the services (ASCII case ignored).
bool InfLineNamesService(std::string_view line, const std::vector<InstallItem>& items);

// The driver file of a service in the lists; empty when none names it.
std::string DriverFileOf(const std::vector<DriverEntry>& entries, std::string_view service);

// A list of file names separated by ';' (the record of the driver files we
// installed). Adding a name already there (ASCII case ignored) changes
// nothing; empty items never match.
std::string AddToFileList(std::string_view list, std::string_view name);
bool FileListHas(std::string_view list, std::string_view name);

}  // namespace veltrano::setup
