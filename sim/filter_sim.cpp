// Property requests on a filter handle, answered as the kernel-streaming
// class driver answers them for a USB audio function.

#include <vector>

#include "platform/win32_headers.h"
#include "sim/internal.h"

namespace sim::detail {
namespace {

DWORD AnswerMultiple(const std::vector<uint8_t>& items, uint32_t count, void* out, DWORD outSize,
                     DWORD* returned) {
    std::vector<uint8_t> reply(sizeof(KSMULTIPLE_ITEM) + items.size());
    KSMULTIPLE_ITEM header{static_cast<ULONG>(reply.size()), count};
    memcpy(reply.data(), &header, sizeof header);
    if (!items.empty()) memcpy(reply.data() + sizeof header, items.data(), items.size());
    return AnswerBytes(reply.data(), static_cast<DWORD>(reply.size()), out, outSize, returned);
}

template <typename T>
void Append(std::vector<uint8_t>* bytes, const T& value) {
    const auto* p = reinterpret_cast<const uint8_t*>(&value);
    bytes->insert(bytes->end(), p, p + sizeof value);
}

DWORD PinProperty(const DeviceConfig& device, const std::vector<PinRecord>& records,
                  const KSP_PIN& request, void* out, DWORD outSize, DWORD* returned) {
    const ULONG id = request.Property.Id;
    if (id == KSPROPERTY_PIN_CTYPES) {
        const ULONG count = static_cast<ULONG>(device.pins.size());
        return AnswerBytes(&count, sizeof count, out, outSize, returned);
    }
    if (request.PinId >= device.pins.size()) return ERROR_INVALID_PARAMETER;
    const PinConfig& pin = device.pins[request.PinId];
    switch (id) {
        case KSPROPERTY_PIN_DATAFLOW: {
            const ULONG value = pin.dataFlow;
            return AnswerBytes(&value, sizeof value, out, outSize, returned);
        }
        case KSPROPERTY_PIN_COMMUNICATION: {
            const ULONG value = pin.communication;
            return AnswerBytes(&value, sizeof value, out, outSize, returned);
        }
        case KSPROPERTY_PIN_CINSTANCES:
        case KSPROPERTY_PIN_GLOBALCINSTANCES: {
            const KSPIN_CINSTANCES value{pin.possibleInstances,
                                         records[request.PinId].currentInstances};
            return AnswerBytes(&value, sizeof value, out, outSize, returned);
        }
        case KSPROPERTY_PIN_CATEGORY:
            return AnswerBytes(&pin.category, sizeof pin.category, out, outSize, returned);
        case KSPROPERTY_PIN_NAME: {
            const DWORD size = static_cast<DWORD>((pin.name.size() + 1) * sizeof(wchar_t));
            return AnswerBytes(pin.name.c_str(), size, out, outSize, returned);
        }
        case KSPROPERTY_PIN_INTERFACES: {
            std::vector<uint8_t> items;
            uint32_t count = 0;
            if (pin.standardInterface) {
                Append(&items, KSPIN_INTERFACE{KSINTERFACESETID_Standard,
                                               KSINTERFACE_STANDARD_STREAMING, 0});
                ++count;
            }
            if (pin.loopedInterface) {
                Append(&items, KSPIN_INTERFACE{KSINTERFACESETID_Standard,
                                               KSINTERFACE_STANDARD_LOOPED_STREAMING, 0});
                ++count;
            }
            return AnswerMultiple(items, count, out, outSize, returned);
        }
        case KSPROPERTY_PIN_MEDIUMS: {
            std::vector<uint8_t> items;
            uint32_t count = 0;
            if (pin.standardMedium) {
                Append(&items, KSPIN_MEDIUM{KSMEDIUMSETID_Standard, KSMEDIUM_TYPE_ANYINSTANCE, 0});
                ++count;
            }
            return AnswerMultiple(items, count, out, outSize, returned);
        }
        case KSPROPERTY_PIN_DATARANGES: {
            std::vector<uint8_t> items;
            for (const DataRangeConfig& r : pin.ranges) {
                KSDATARANGE_AUDIO range{};
                range.DataRange.FormatSize = sizeof range;
                range.DataRange.MajorFormat = r.majorFormat;
                range.DataRange.SubFormat = r.subFormat;
                range.DataRange.Specifier = KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;
                range.MaximumChannels = r.maxChannels;
                range.MinimumBitsPerSample = r.minBits;
                range.MaximumBitsPerSample = r.maxBits;
                range.MinimumSampleFrequency = r.minRate;
                range.MaximumSampleFrequency = r.maxRate;
                Append(&items, range);
            }
            return AnswerMultiple(items, static_cast<uint32_t>(pin.ranges.size()), out, outSize,
                                  returned);
        }
        default:
            return ERROR_NOT_FOUND;
    }
}

}  // namespace

DWORD FilterIoctl(size_t device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                  DWORD* returned) {
    *returned = 0;
    if (code != IOCTL_KS_PROPERTY) return ERROR_INVALID_FUNCTION;
    if (in == nullptr || inSize < sizeof(KSPROPERTY)) return ERROR_INVALID_USER_BUFFER;
    State& state = Get();
    const DeviceConfig& config = state.config.devices[device];
    KSPROPERTY property;
    memcpy(&property, in, sizeof property);

    const Faults& faults = state.config.faults;
    if (property.Set == faults.failPropertySet && property.Id == faults.failPropertyId) {
        return faults.failPropertyError;
    }
    if (property.Set == KSPROPSETID_Pin) {
        if (property.Flags != KSPROPERTY_TYPE_GET) return ERROR_INVALID_FUNCTION;
        KSP_PIN request{};
        if (property.Id == KSPROPERTY_PIN_CTYPES) {
            request.Property = property;
        } else {
            if (inSize < sizeof(KSP_PIN)) return ERROR_INVALID_USER_BUFFER;
            memcpy(&request, in, sizeof request);
        }
        return PinProperty(config, state.records[device], request, out, outSize, returned);
    }
    if (property.Set == KSPROPSETID_Topology) {
        if (property.Flags != KSPROPERTY_TYPE_GET) return ERROR_INVALID_FUNCTION;
        if (property.Id != KSPROPERTY_TOPOLOGY_NODES) return ERROR_NOT_FOUND;
        std::vector<uint8_t> items;
        for (const GUID& node : config.nodes) Append(&items, node);
        return AnswerMultiple(items, static_cast<uint32_t>(config.nodes.size()), out, outSize,
                              returned);
    }
    return ERROR_SET_NOT_FOUND;
}

}  // namespace sim::detail
