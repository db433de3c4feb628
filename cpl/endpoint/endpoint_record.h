#pragma once
// What the control panel knows about one of the device's endpoints: its
// identity, its stored device format and the topology controls the walk
// found, with their level table.

// clang-format off
#include <windows.h>
#include <mmreg.h>
#include <ks.h>
#include <ksmedia.h>
#include <devicetopology.h>
// clang-format on
#include <wrl/client.h>

#include <cstdint>

namespace veltrano::cpl {

inline constexpr int kMaxEndpointRecords = 8;  // per direction
inline constexpr int kTopologyParts = 12;      // volume and mute slots per record
inline constexpr int kLevelChannels = 8;       // channels per volume part
inline constexpr int kEndpointTextChars = 260;

static_assert(sizeof(WAVEFORMATEXTENSIBLE) == 40, "the stored device format is 40 bytes");

struct LevelEntry {
    float minimumDb = 0;
    float maximumDb = 0;
    float stepDb = 0;
    float currentDb = 0;
    float savedDb = 0;
};

struct EndpointRecord {
    // Position in the Player's collection of active endpoints of the
    // direction, as of the last enumeration.
    UINT endpointIndex = 0;
    wchar_t endpointId[kEndpointTextChars] = {};
    wchar_t friendlyName[kEndpointTextChars] = {};
    wchar_t description[kEndpointTextChars] = {};
    uint32_t physicalSpeakers = 0;
    uint32_t fullRangeSpeakers = 0;
    // As last read from or written to the endpoint's property store.
    WAVEFORMATEXTENSIBLE deviceFormat = {};
    // Capture only: the subtype of the adapter connector wired to the
    // endpoint (the line input's is KSNODETYPE_LINE_CONNECTOR).
    GUID connectorSubtype = {};
    // The walk fills slot 0 of each; a missing part leaves its slot empty.
    Microsoft::WRL::ComPtr<IAudioVolumeLevel> volumeParts[kTopologyParts];
    Microsoft::WRL::ComPtr<IAudioMute> muteParts[kTopologyParts];
    // Per volume part: the channels whose range and level could be read.
    uint32_t channelCount[kTopologyParts] = {};
    LevelEntry levels[kTopologyParts][kLevelChannels] = {};
    // Last mute state read or written through mute part 0.
    BOOL cachedMute = FALSE;
    // Per mute part: the state read at discovery.
    BOOL muteStates[kTopologyParts] = {};
};

}  // namespace veltrano::cpl
