#pragma once
// How a virtual endpoint looks to the control panel's calls: its kind (which
// fixes the shape of its device topology), its property values, its volume
// range and the faults a test can ask for.

#include <windows.h>

#include <cstdint>
#include <string>

namespace veltrano::sim {

enum class EndpointKind {
    Automatic,   // speakers for a render endpoint, line in for a capture one
    Speakers,    // render: connector, a node, volume, mute, DAC, pin
    LineIn,      // capture: line connector, a node, mute, volume, ADC, pin
    Microphone,  // capture: microphone connector, a node, mute, ADC, pin
};

// The type the device-path property is stored with (a hostile driver can
// store anything there).
enum class PathValueType { Text, Blob, Number };

struct EndpointControlConfig {
    EndpointKind kind = EndpointKind::Automatic;
    std::wstring description;       // PKEY_Device_DeviceDesc; empty: from the kind
    uint32_t physicalSpeakers = 3;  // front left and right
    uint32_t fullRangeSpeakers = 3;

    // The topology volume part: channels, range and step in dB, the level
    // every channel starts at.
    uint32_t volumeChannels = 2;
    float minimumDb = -127.0f;
    float maximumDb = 0.0f;
    float stepDb = 0.5f;
    float initialDb = -20.0f;
    bool initialMute = false;

    // Faults of the topology.
    HRESULT topologyActivateResult = S_OK;  // Activate(IDeviceTopology) fails
    bool wrongDataFlow = false;             // the endpoint connector flows the other way
    bool unconnected = false;               // GetConnectedTo finds nothing
    // The adapter's part chain ends after this many parts beyond the
    // adapter connector (0: the full chain): a walk going further fails.
    uint32_t chainEndsAfter = 0;
    bool noVolumePart = false;  // the volume node is an ordinary node
    bool noMutePart = false;
    // GetLevelRange of this channel fails (-1: none).
    int unreadableLevelChannel = -1;

    // Hostile property values.
    PathValueType pathType = PathValueType::Text;
    // Bytes of the device-format blob the store holds at first (at most 40).
    uint32_t formatBlobBytes = 40;
    // After this many successful writes the endpoint's store refuses every
    // further one with E_ACCESSDENIED (-1: never), so a sequence of writes
    // can fail halfway.
    int writesBeforeRefusal = -1;
};

}  // namespace veltrano::sim
