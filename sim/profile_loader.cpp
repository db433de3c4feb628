#include "sim/profile_loader.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "common/device_table.h"
#include "common/rate_table.h"
#include "platform/win32_headers.h"
#include "sim/sim.h"

namespace sim {
namespace {

using veltrano::sim::SimProfile;

void Report(const std::string& text) {
    OutputDebugStringA(("veltrano sim profile: " + text + "\n").c_str());
}

// One range per (width, rate): a USB audio device lists discrete rates, and a
// range spanning two table rates would also accept the rates between them.
std::vector<DataRangeConfig> RangesFor(uint32_t channels, uint32_t widthMask, uint32_t rateMask) {
    std::vector<DataRangeConfig> ranges;
    for (uint32_t bits : {16u, 24u, 32u}) {
        if ((widthMask & (1u << (bits / 8 - 1))) == 0) continue;
        for (int i = 0; i < veltrano::kRateCount; ++i) {
            if ((rateMask & (1u << i)) == 0) continue;
            DataRangeConfig range;
            range.maxChannels = channels;
            range.minBits = bits;
            range.maxBits = bits;
            range.minRate = veltrano::kRateTable[static_cast<size_t>(i)];
            range.maxRate = range.minRate;
            ranges.push_back(range);
        }
    }
    return ranges;
}

// The path the USB stack gives interface `mi` of the device: lower case,
// with an instance part of its own.
std::string UsbPath(uint16_t productId) {
    veltrano::SupportedDevice entry = veltrano::SupportedDeviceTable[0];
    const veltrano::SupportedDevice* listed =
        veltrano::FindSupportedDevice(entry.vendorId, productId);
    if (listed != nullptr) entry = *listed;
    char text[128];
    snprintf(text, sizeof text, "\\\\?\\usb#vid_%04x&pid_%04x&mi_%02x#7&2a8f5c1&0&0001",
             entry.vendorId, productId, entry.interfaceNumber);
    return text;
}

}  // namespace

Config ConfigFromProfile(const SimProfile& profile) {
    DeviceConfig device;
    device.nodes = {KSNODETYPE_VOLUME, KSNODETYPE_MUTE};
    if (profile.render) {
        PinConfig pin = RenderSinkPin(profile.channels);
        pin.ranges = RangesFor(profile.channels, profile.widthMask, profile.rateMask);
        device.pins.push_back(pin);
        device.pins.push_back(BridgePin(KSPIN_DATAFLOW_OUT));
    } else {
        // Without a render pin the device has no render interface either.
        device.renderAlias = AliasState::Absent;
    }
    if (profile.capture) {
        PinConfig pin = CaptureSinkPin(profile.captureChannels);
        pin.ranges = RangesFor(profile.captureChannels, profile.widthMask, profile.captureRateMask);
        device.pins.push_back(pin);
        device.pins.push_back(BridgePin(KSPIN_DATAFLOW_IN));
        device.nodes.push_back(KSNODETYPE_ADC);
    }
    if (profile.productId != 0) {
        device.basePath = UsbPath(profile.productId);
        device.hid.productId = profile.productId;
    }
    // The HID interface belongs to the same USB device as the audio function.
    device.hid.present = profile.hid;
    device.hid.outputReportLength = static_cast<uint16_t>(profile.hidReportLength);

    Config config;
    config.devices = {device};
    config.faults.stopCompletingAfterMs = profile.stopCompletingAfterMs;
    if (profile.pinBusy) config.faults.pinCreateError = ERROR_BUSY;
    config.faults.completionErrorAfter = profile.completionErrorAfter;
    config.faults.completionError = profile.completionError;
    config.faults.failStateTo = profile.failState;
    config.faults.stallStateTo = profile.stallState;
    config.faults.asyncProperties = profile.asyncProperties;
    config.faults.sizeQueryError = profile.sizeQueryError;
    config.faults.hidWriteStallMs = profile.hidWriteStallMs;
    return config;
}

void LoadProfileFromEnvironment() {
    char path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("VELTRANO_SIM_PROFILE", path, sizeof path);
    SimProfile profile;
    if (length >= sizeof path) {
        Report("VELTRANO_SIM_PROFILE is too long; using the default device");
    } else if (length > 0) {
        std::ifstream file(path, std::ios::binary);
        std::ostringstream text;
        if (file.is_open()) text << file.rdbuf();
        if (!file.is_open() || file.bad()) {
            Report(std::string("cannot read ") + path + "; using the default device");
        } else {
            veltrano::sim::ProfileResult parsed = veltrano::sim::ParseSimProfile(text.str());
            for (const std::string& problem : parsed.problems)
                Report(std::string(path) + ": " + problem);
            profile = parsed.profile;
        }
    }
    Configure(ConfigFromProfile(profile));
}

}  // namespace sim
