#include "setup/driver_task.h"

#include <fstream>

#include "common/contract/registry_key.h"
#include "setup/package_key.h"
#include "setup/setup_text.h"

namespace veltrano::setup {


namespace {

constexpr char kDevicePathValue[] = "DevicePath";

bool WriteString(HKEY key, const char* name, DWORD type, const std::string& text) {
    return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

void SetAllSigningEqual(SetupContext& context, DWORD value) {
    RegistryKey settings;
    if (value != 0) {
        // Only where the policies key exists; its subkeys are made.
        RegistryKey policies = RegistryKey::Open(HKEY_LOCAL_MACHINE, kPoliciesKey);
        if (!policies) return;
        RegistryKey deviceInstall = RegistryKey::Create(policies.Get(), "DeviceInstall");
        if (deviceInstall) settings = RegistryKey::Create(deviceInstall.Get(), "Settings");
    } else {
        settings = RegistryKey::Open(HKEY_LOCAL_MACHINE,
                                     (std::string(kPoliciesKey) + "\\DeviceInstall\\Settings").c_str());
    }
    if (!settings || !settings.WriteDword("AllSigningEqual", value)) {
        context.Fail("driver task: AllSigningEqual not set");
    }
}

std::string WindowsInfFolder() {
    char windows[MAX_PATH] = {};
    const UINT n = GetWindowsDirectoryA(windows, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    return std::string(windows) + "\\inf\\";
}

// The OEM INF of a device's driver, when the INF names one of our services:
// its bare file name; empty when it names none. False when the driver key,
// its "InfPath" or the INF file cannot be read (the device is then left
// alone).
bool ReadOemInf(SetupContext& context, DWORD index, const std::vector<InstallItem>& items, std::string* infName) {
    std::string driverKey;
    if (!context.devices->GetDriverKeyName(index, &driverKey) || driverKey.empty()) return false;
    RegistryKey classKey = RegistryKey::Open(HKEY_LOCAL_MACHINE, (kClassKey + driverKey).c_str(), KEY_READ);
    if (!classKey) return false;
    const auto infPath = ReadStringValue(classKey.Get(), "InfPath");
    // Only a file name in the INF folder: a registry value must not lead
    // the removal to some other file.
    if (!infPath || infPath->size() < 4 || infPath->find_first_of("\\/:") != std::string::npos ||
        *infPath == "." || *infPath == "..") {
        return false;
    }
    const std::string folder = WindowsInfFolder();
    const auto path = JoinPath(folder, *infPath);
    if (folder.empty() || !path) return false;
    std::ifstream inf(*path, std::ios::binary);
    if (!inf) return false;
    std::string line;
    infName->clear();
    while (std::getline(inf, line)) {
        if (InfLineNamesService(line, items)) {
            *infName = *infPath;
            break;
        }
    }
    return true;
}

struct FoundDevice {
    DWORD index;
    std::string oemInf;
};

std::vector<FoundDevice> ScanDevices(SetupContext& context, const std::vector<InstallItem>& items) {
    std::vector<FoundDevice> found;
    for (DWORD index = 0; context.devices->EnumDevice(index) && found.size() < kMaxScannedDevices; ++index) {
        std::string hardwareId;
        if (!context.devices->GetFirstHardwareId(index, &hardwareId)) continue;
        const auto stripped = StripRevision(hardwareId);
        if (!stripped) continue;
        bool listed = false;
        for (const DriverEntry& entry : context.driverEntries) {
            if (StartsWithNoCase(*stripped, entry.hardwareId)) {
                listed = true;
                break;
            }
        }
        if (!listed) continue;
        std::string oemInf;
        if (!ReadOemInf(context, index, items, &oemInf)) continue;
        found.push_back({index, oemInf});
    }
    return found;
}

void InstallPackages(SetupContext& context, const std::vector<InstallItem>& items) {
    // Added to, never cut: files an earlier install put there stay ours
    // until the uninstall deletes them.
    const std::string recorded = ReadPackageStringEither(kInstalledDriversValue).value_or("");
    std::string installed = recorded;
    for (const InstallItem& item : items) {
        if (context.windows10v1703 && !StartsWithNoCase(item.service, kInterface6Service)) continue;
        if (context.os.kind >= 2 && context.os.kind <= 11) {
            if (item.infPath.empty()) {
                context.Fail("driver task: INF path too long for " + item.service);
            } else {
                if (context.devices->InstallInfSectionFiles(item.infPath, item.service, kCopyForceNewer)) {
                    installed = AddToFileList(installed, DriverFileOf(context.driverEntries, item.service));
                    context.runner->Wait(kInfCommitWaitMs);
                }
                context.devices->CopyOemInf(item.infPath);
            }
        }
        context.runner->Wait(kInfGapWaitMs);
    }
    if (installed != recorded && !WritePackageString(kInstalledDriversValue, installed)) {
        context.Fail("driver task: installed driver files not recorded");
    }
}

}  // namespace

std::string DriverFolder(const SetupContext& context) {
    return JoinPath(context.installPath, context.os.kind == 0 ? "DriverXP" : "Driver").value_or("");
}

void AddToDeviceSearchPath(SetupContext& context, const std::string& folder) {
    RegistryKey key = RegistryKey::Open(HKEY_LOCAL_MACHINE, kWindowsVersionKey);
    if (!key) {
        context.Fail("driver task: device search path key cannot be opened");
        return;
    }
    DWORD type = REG_EXPAND_SZ;
    std::string current;
    if (auto value = ReadStringValue(key.Get(), kDevicePathValue, &type)) {
        current = std::move(*value);
    } else if (RegQueryValueExA(key.Get(), kDevicePathValue, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
        context.Fail("driver task: device search path is not a string; left alone");
        return;
    } else {
        type = REG_EXPAND_SZ;
    }
    const std::string updated = DevicePathAdd(current, folder);
    if (updated == current) return;
    if (!WriteString(key.Get(), kDevicePathValue, type, updated)) {
        context.Fail("driver task: device search path not written");
    }
}

void RemoveFromDeviceSearchPath(SetupContext& context, const std::string& folder) {
    RegistryKey key = RegistryKey::Open(HKEY_LOCAL_MACHINE, kWindowsVersionKey);
    if (!key) return;
    const auto current = ReadStringValue(key.Get(), kDevicePathValue);
    if (!current) return;
    const auto updated = DevicePathRemove(*current, folder);
    if (!updated) return;
    if (!WriteString(key.Get(), kDevicePathValue, REG_EXPAND_SZ, *updated)) {
        context.Fail("driver task: device search path not written");
    }
}

void RunDriverTask(SetupContext& context) {
    const std::string folder = DriverFolder(context);
    if (folder.empty()) {
        context.Fail("driver task: driver folder path too long");
        return;
    }
    if (!context.uninstall) {
        if (!context.windows10v1703) AddToDeviceSearchPath(context, folder);
        SetAllSigningEqual(context, 1);
    } else {
        RemoveFromDeviceSearchPath(context, folder);
        SetAllSigningEqual(context, 0);
    }
    const std::vector<InstallItem> items = BuildInstallList(context.driverEntries, folder);
    if (!context.devices->OpenUsbDeviceSet()) {
        context.Fail("driver task: USB device set not available");
        return;
    }
    for (const FoundDevice& device : ScanDevices(context, items)) {
        context.devices->RemoveDevice(device.index);
        if (!device.oemInf.empty()) context.devices->UninstallOemInf(device.oemInf);
    }
    if (!context.uninstall) InstallPackages(context, items);
    context.devices->ReenumerateRoot();
    context.devices->CloseDeviceSet();
}

void CleanUpDriverFiles(SetupContext& context) {
    const std::string folder = DriverFolder(context);
    if (folder.empty()) {
        context.Fail("driver clean-up: driver folder path too long");
    } else {
        for (const char* pattern : {"\\*.pnf", "\\Inf*.*"}) {
            if (auto path = JoinPath(folder, pattern)) {
                context.DeleteWithCmd(*path);
            } else {
                context.Fail("driver clean-up: path too long");
            }
        }
    }
    char system[MAX_PATH] = {};
    const UINT n = GetSystemDirectoryA(system, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        context.Fail("driver clean-up: no system folder");
        return;
    }
    const std::string drivers = std::string(system) + "\\drivers\\";
    const std::string installed = ReadPackageStringEither(kInstalledDriversValue).value_or("");
    std::string deleted;
    for (const DriverEntry& entry : context.driverEntries) {
        if (!FileListHas(installed, entry.driverFile) || FileListHas(deleted, entry.driverFile)) continue;
        deleted = AddToFileList(deleted, entry.driverFile);
        if (auto path = JoinPath(drivers, entry.driverFile)) context.DeleteWithCmd(*path);
    }
}

}  // namespace veltrano::setup
