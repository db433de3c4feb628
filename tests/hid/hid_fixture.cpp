#include "hid_fixture.h"

namespace hidtest {

sim::Config HidTest::WithHid(const std::vector<sim::HidConfig>& hids) {
    sim::Config config;
    for (const sim::HidConfig& hid : hids) {
        sim::DeviceConfig device = sim::RenderOnlyDevice();
        device.hid = hid;
        config.devices.push_back(device);
    }
    return config;
}

Report Expected(uint8_t code, uint8_t selector, uint8_t argument, size_t length) {
    Report report(length, 0);
    const uint8_t head[] = {0x00, code, 0x21, selector, argument};
    for (size_t i = 0; i < sizeof head && i < length; ++i) report[i] = head[i];
    return report;
}

}  // namespace hidtest
