#include "sim/devchange/device_change.h"

#include <dbt.h>
#include <ks.h>
#include <ksmedia.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "common/device_path.h"
#include "common/device_table.h"
#include "sim/audio/virtual_controls.h"
#include "sim/devchange/registrations.h"
#include "sim/sim.h"

namespace sim {
namespace {

// {A5DCBF10-6530-11D2-901F-00C04FB951ED}
constexpr GUID kUsbDeviceInterface = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

std::mutex g_plugLock;  // one plug or unplug at a time
bool g_unplugged = false;
bool g_audioPending = false;  // plugged, its audio function not yet started
Config g_savedConfig;

// Endpoints by configuration index, until the first index that does not
// exist.
void SetEndpoints(bool plugged) {
    for (bool render : {true, false}) {
        for (size_t i = 0; i < 64; ++i) {
            const bool ok = plugged ? veltrano::sim::PlugEndpoint(render, i)
                                    : veltrano::sim::UnplugEndpoint(render, i);
            if (!ok) break;
        }
    }
}

}  // namespace

bool DevicePlugged() {
    std::lock_guard<std::mutex> lock(g_plugLock);
    return !g_unplugged;
}

std::string UsbInterfaceName() {
    uint16_t vendor = veltrano::SupportedDeviceTable[0].vendorId;
    uint16_t product = veltrano::SupportedDeviceTable[0].productId;
    const Config config = g_unplugged ? g_savedConfig : CurrentConfig();
    if (!config.devices.empty()) {
        vendor = config.devices[0].hid.vendorId;
        product = config.devices[0].hid.productId;
        veltrano::DevicePathIds ids;
        if (!config.devices[0].basePath.empty() &&
            veltrano::ParseDevicePath(config.devices[0].basePath.c_str(), &ids)) {
            vendor = ids.vendorId;
            product = ids.productId;
        }
    }
    char name[160];
    std::snprintf(name, sizeof name,
                  "\\\\?\\USB#VID_%04x&PID_%04x#5&2b0d7e0&0&1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",
                  vendor, product);
    return name;
}

void BroadcastDeviceInterface(bool arrival, const std::string& interfaceName) {
    std::vector<uint8_t> buffer(sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) + interfaceName.size());
    auto* message = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(buffer.data());
    message->dbcc_size = static_cast<DWORD>(buffer.size());
    message->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    message->dbcc_classguid = kUsbDeviceInterface;
    std::memcpy(message->dbcc_name, interfaceName.c_str(), interfaceName.size() + 1);
    const WPARAM event = arrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
    for (const devchange::Registration& r : devchange::Snapshot()) {
        if (r.type != DBT_DEVTYP_DEVICEINTERFACE) continue;
        if (!r.allClasses && r.classGuid != kUsbDeviceInterface) continue;
        // Each recipient gets its own copy, as it may write to it (the
        // control panel upper-cases the name in place).
        std::vector<uint8_t> copy = buffer;
        DWORD_PTR result = 0;
        SendMessageTimeoutA(r.window, WM_DEVICECHANGE, event,
                            reinterpret_cast<LPARAM>(copy.data()), SMTO_NORMAL, 30000, &result);
    }
}

bool UnplugDevice() {
    std::string name;
    {
        std::lock_guard<std::mutex> lock(g_plugLock);
        if (g_unplugged) return false;
        name = UsbInterfaceName();
        if (g_audioPending) {
            // Its audio function never started: nothing of it to remove.
            g_audioPending = false;
        } else {
            g_savedConfig = CurrentConfig();
            Config gone = g_savedConfig;
            gone.devices.clear();
            SetEndpoints(false);
            Configure(gone);
        }
        g_unplugged = true;
    }
    BroadcastDeviceInterface(false, name);
    return true;
}

bool PlugDevice() {
    std::string name;
    {
        std::lock_guard<std::mutex> lock(g_plugLock);
        if (!g_unplugged) return false;
        Configure(g_savedConfig);
        g_unplugged = false;
        name = UsbInterfaceName();
    }
    // The USB device arrives first; its audio endpoints become active once
    // the audio driver has started, a moment later.
    BroadcastDeviceInterface(true, name);
    SetEndpoints(true);
    return true;
}

bool PlugDeviceAudioLater() {
    std::string name;
    {
        std::lock_guard<std::mutex> lock(g_plugLock);
        if (!g_unplugged) return false;
        g_unplugged = false;
        g_audioPending = true;
        name = UsbInterfaceName();
    }
    BroadcastDeviceInterface(true, name);
    return true;
}

bool StartAudioFunction() {
    std::lock_guard<std::mutex> lock(g_plugLock);
    if (!g_audioPending) return false;
    Configure(g_savedConfig);
    g_audioPending = false;
    SetEndpoints(true);
    return true;
}

}  // namespace sim
