#include "sim/setup/setup_sim.h"

#include <setupapi.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace sim::setup {

namespace {

std::string InfFolder() {
    char windows[MAX_PATH] = {};
    const UINT n = GetWindowsDirectoryA(windows, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    return std::string(windows) + "\\inf\\";
}

bool ReadFile(const std::string& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    *text = s.str();
    return true;
}

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

}  // namespace

bool VirtualDeviceTree::OpenUsbDeviceSet() {
    calls.push_back("open-set");
    if (failOpenSet) {
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    m_open = true;
    m_snapshot.clear();
    for (size_t i = 0; i < devices.size(); ++i) {
        if (!devices[i].removed) m_snapshot.push_back(i);
    }
    return true;
}

bool VirtualDeviceTree::EnumDevice(DWORD index) {
    if (!m_open) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (index >= m_snapshot.size()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return false;
    }
    return true;
}

bool VirtualDeviceTree::GetFirstHardwareId(DWORD index, std::string* id) {
    if (!EnumDevice(index)) return false;
    const VirtualDevice& device = devices[m_snapshot[index]];
    if (device.hardwareIds.empty()) {
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    *id = device.hardwareIds.front();
    return true;
}

bool VirtualDeviceTree::GetDriverKeyName(DWORD index, std::string* name) {
    if (!EnumDevice(index)) return false;
    const VirtualDevice& device = devices[m_snapshot[index]];
    if (device.driverKey.empty()) {
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    *name = device.driverKey;
    return true;
}

bool VirtualDeviceTree::RemoveDevice(DWORD index) {
    if (!EnumDevice(index)) return false;
    calls.push_back("remove " + std::to_string(m_snapshot[index]));
    VirtualDevice& device = devices[m_snapshot[index]];
    if (device.removed) {
        SetLastError(ERROR_NO_SUCH_DEVINST);
        return false;
    }
    device.removed = true;
    return true;
}

bool VirtualDeviceTree::UninstallOemInf(const std::string& infName) {
    calls.push_back("uninstall-oem " + infName);
    // Only a bare name of a file in the INF folder is accepted.
    if (infName.empty() || infName.find_first_of("\\/:") != std::string::npos) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const std::string folder = InfFolder();
    const std::string path = folder + infName;
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    if (!DeleteFileA(path.c_str())) return false;
    const size_t dot = infName.rfind('.');
    const std::string pnf = folder + infName.substr(0, dot) + ".pnf";
    DeleteFileA(pnf.c_str());
    return true;
}

bool VirtualDeviceTree::InstallInfSectionFiles(const std::string& infPath, const std::string& section,
                                               DWORD copyStyle) {
    std::string text;
    // An INF in the Windows 95 style opens only with a [Version] section.
    if (!ReadFile(infPath, &text) || Upper(text).find("[VERSION]") == std::string::npos) {
        calls.push_back("open-inf-failed " + infPath);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    char style[16];
    std::snprintf(style, sizeof style, "0x%lX", static_cast<unsigned long>(copyStyle));
    // Built by appending: GCC 12 sees a false overflow in "[" + string.
    std::string header(1, '[');
    header += Upper(section);
    header += ']';
    const bool hasSection = Upper(text).find(header) != std::string::npos;
    calls.push_back("queue " + infPath + " [" + section + "] " + style + (hasSection ? "" : " (no section)"));
    return true;
}

bool VirtualDeviceTree::CopyOemInf(const std::string& infPath) {
    std::string text;
    if (!ReadFile(infPath, &text)) {
        calls.push_back("copy-oem-failed " + infPath);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    const std::string folder = InfFolder();
    for (int n = 0; n < 10000; ++n) {
        const std::string name = "oem" + std::to_string(n) + ".inf";
        const std::string path = folder + name;
        if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
        std::ofstream out(path, std::ios::binary);
        out << text;
        if (!out) return false;
        calls.push_back("copy-oem " + infPath + " -> " + name);
        copiedOemInfs.push_back(name);
        return true;
    }
    return false;
}

bool VirtualDeviceTree::ReenumerateRoot() {
    calls.push_back("reenumerate");
    // Plug and Play finds the removed functions again; which driver binds
    // to them is not modelled.
    for (VirtualDevice& device : devices) {
        if (device.removed) {
            device.removed = false;
            device.driverKey.clear();
        }
    }
    return true;
}

void VirtualDeviceTree::CloseDeviceSet() {
    if (m_open) calls.push_back("close");
    m_open = false;
    m_snapshot.clear();
}

}  // namespace sim::setup
