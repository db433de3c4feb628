#include "sim/config.h"

#include "platform/win32_headers.h"

namespace sim {
namespace {

std::vector<DataRangeConfig> StereoRanges(uint32_t channels) {
    std::vector<DataRangeConfig> ranges;
    for (uint32_t bits : {16u, 24u, 32u}) {
        DataRangeConfig r;
        r.maxChannels = channels;
        r.minBits = bits;
        r.maxBits = bits;
        ranges.push_back(r);
    }
    return ranges;
}

}  // namespace

PinConfig RenderSinkPin(uint32_t channels) {
    PinConfig pin;
    pin.dataFlow = KSPIN_DATAFLOW_IN;
    pin.communication = KSPIN_COMMUNICATION_SINK;
    pin.ranges = StereoRanges(channels);
    pin.category = KSCATEGORY_AUDIO;
    pin.name = L"Veltrano-HD Playback";
    return pin;
}

PinConfig CaptureSinkPin(uint32_t channels) {
    PinConfig pin;
    pin.dataFlow = KSPIN_DATAFLOW_OUT;
    pin.communication = KSPIN_COMMUNICATION_SINK;
    pin.ranges = StereoRanges(channels);
    pin.category = KSCATEGORY_AUDIO;
    pin.name = L"Veltrano-HD Record";
    return pin;
}

PinConfig BridgePin(KSPIN_DATAFLOW dataFlow) {
    PinConfig pin;
    pin.dataFlow = dataFlow;
    pin.communication = KSPIN_COMMUNICATION_NONE;
    DataRangeConfig analog;
    analog.subFormat = KSDATAFORMAT_SUBTYPE_ANALOG;
    analog.majorFormat = KSDATAFORMAT_TYPE_AUDIO;
    pin.ranges = {analog};
    pin.possibleInstances = 0;
    pin.category = dataFlow == KSPIN_DATAFLOW_OUT ? KSNODETYPE_SPEAKER : KSNODETYPE_LINE_CONNECTOR;
    pin.name = dataFlow == KSPIN_DATAFLOW_OUT ? L"Speakers" : L"Line In";
    return pin;
}

DeviceConfig RenderOnlyDevice() {
    DeviceConfig device;
    device.pins = {RenderSinkPin(), BridgePin(KSPIN_DATAFLOW_OUT)};
    device.nodes = {KSNODETYPE_VOLUME, KSNODETYPE_MUTE};
    return device;
}

DeviceConfig DefaultDevice() {
    DeviceConfig device = RenderOnlyDevice();
    device.pins.push_back(CaptureSinkPin());
    device.pins.push_back(BridgePin(KSPIN_DATAFLOW_IN));
    device.nodes.push_back(KSNODETYPE_ADC);
    return device;
}

Config DefaultConfig() {
    Config config;
    config.devices = {DefaultDevice()};
    return config;
}

}  // namespace sim
