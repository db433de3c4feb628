#include "cpl/endpoint/audio_endpoint_set.h"

#include <cwchar>
#include <cwctype>

#include "cpl/endpoint/topology_walk.h"
#include "platform/os_version.h"

namespace veltrano::cpl {
namespace {

void UpperCase(wchar_t* text) {
    for (; *text != L'\0'; ++text) *text = static_cast<wchar_t>(std::towupper(*text));
}

}  // namespace

AudioEndpointSet::AudioEndpointSet(HWND window) {
    OsKind os;
    if (!platform::ReadOsKind(OsTable::ControlPanel, &os)) {
        os = OsKind{};
        os.kind = 4;
        os.platformFlag = 1;
    }
    m_os = os;
    Init(window);
}

AudioEndpointSet::AudioEndpointSet(HWND window, const OsKind& os) : m_os(os) { Init(window); }

void AudioEndpointSet::Init(HWND window) {
    m_window = window;
    m_win10_1703 = m_os.kind >= 10 && m_os.build >= kBuildWindows10Version1703;
    m_player = Player::Create(window);
}

AudioEndpointSet::~AudioEndpointSet() {
    Reset();
    if (m_player != nullptr) m_player->Release();
    m_player = nullptr;
}

HRESULT AudioEndpointSet::Probe(uint16_t vendorId, uint16_t productId, uint8_t interfaceNumber,
                                int* playbackPresent, int* recordPresent, int* asioPresent) {
    if (playbackPresent == nullptr || recordPresent == nullptr || asioPresent == nullptr) {
        return E_FAIL;
    }
    if (m_probed) return S_OK;
    *playbackPresent = 0;
    *recordPresent = 0;
    *asioPresent = 0;
    if (IsCoreAudioKind(m_os.kind)) {
        m_vendorId = vendorId;
        m_productId = productId;
        Reset();
        wchar_t pattern[32];
        swprintf(pattern, 32, L"VID_%04X&PID_%04X&MI_%02X", vendorId, productId, interfaceNumber);
        if (SUCCEEDED(DiscoverDirection(kRender, pattern))) *playbackPresent = 1;
        if (SUCCEEDED(DiscoverDirection(kCapture, pattern))) *recordPresent = 1;
        *asioPresent = *playbackPresent;
        if (*playbackPresent == 0 && *recordPresent == 0) return E_FAIL;
    } else {
        // Before core audio the device is reached through kernel streaming
        // only.
        *asioPresent = 1;
    }
    m_probed = true;
    return S_OK;
}

void AudioEndpointSet::Reset() {
    m_probed = false;
    for (EndpointRecord& record : m_render) record = EndpointRecord{};
    for (EndpointRecord& record : m_capture) record = EndpointRecord{};
    if (m_player != nullptr) {
        m_player->ReleaseVolumeNotification(kRender);
        m_player->ReleaseVolumeNotification(kCapture);
    }
    m_renderCount = 0;
    m_captureCount = 0;
}

HRESULT AudioEndpointSet::DiscoverDirection(int direction, const wchar_t* pattern) {
    if (m_player == nullptr || !m_player->HasEnumerator()) return E_FAIL;
    (void)m_player->EnumerateEndpoints(direction);
    const UINT count = m_player->EndpointCount(direction);
    EndpointRecord* records = direction == kRender ? m_render : m_capture;
    int& used = direction == kRender ? m_renderCount : m_captureCount;
    used = 0;

    wchar_t wanted[32];
    wcsncpy(wanted, pattern, 31);
    wanted[31] = L'\0';
    UpperCase(wanted);

    for (UINT index = 0; index < count && used < kMaxEndpointRecords; ++index) {
        wchar_t path[kEndpointTextChars] = {};
        ReadProperty(direction, index, kKeyDevicePath, path, kEndpointTextChars);
        UpperCase(path);
        if (wcsstr(path, wanted) == nullptr) continue;

        EndpointRecord& record = records[used];
        record = EndpointRecord{};
        ReadEndpointId(direction, index, record.endpointId);
        ReadProperty(direction, index, kKeyFriendlyName, record.friendlyName, kEndpointTextChars);
        ReadProperty(direction, index, kKeyDeviceDesc, record.description, kEndpointTextChars);
        ReadProperty(direction, index, kKeyPhysicalSpeakers, nullptr, 0, nullptr, 0, nullptr,
                     &record.physicalSpeakers);
        ReadProperty(direction, index, kKeyFullRangeSpeakers, nullptr, 0, nullptr, 0, nullptr,
                     &record.fullRangeSpeakers);
        ReadProperty(direction, index, kKeyDeviceFormat, nullptr, 0, &record.deviceFormat,
                     sizeof(record.deviceFormat));

        Microsoft::WRL::ComPtr<IMMDevice> device;
        HRESULT hr = m_player->Item(direction, index, &device);
        if (SUCCEEDED(hr)) {
            hr = direction == kRender ? WalkRenderTopology(device.Get(), &record)
                                      : WalkCaptureTopology(device.Get(), &record);
        }
        if (FAILED(hr)) {
            // Dropped: the record is reused by the next match.
            record = EndpointRecord{};
            continue;
        }

        for (int part = 0; part < kTopologyParts; ++part) {
            IAudioVolumeLevel* volume = record.volumeParts[part].Get();
            if (volume == nullptr) continue;
            for (UINT channel = 0; channel < kLevelChannels; ++channel) {
                LevelEntry& level = record.levels[part][channel];
                if (FAILED(volume->GetLevelRange(channel, &level.minimumDb, &level.maximumDb,
                                                 &level.stepDb))) {
                    level = LevelEntry{};
                    break;
                }
                if (FAILED(volume->GetLevel(channel, &level.currentDb))) {
                    level = LevelEntry{};
                    break;
                }
                level.savedDb = level.currentDb;
                record.channelCount[part] = channel + 1;
            }
        }
        for (int part = 0; part < kTopologyParts; ++part) {
            BOOL muted = FALSE;
            if (record.muteParts[part] && SUCCEEDED(record.muteParts[part]->GetMute(&muted))) {
                record.muteStates[part] = muted;
                if (part == 0) record.cachedMute = muted;
            }
        }

        // The playback section follows the first playback endpoint, the
        // record section the line input.
        if (direction == kRender ? used == 0
                                 : IsEqualGUID(record.connectorSubtype, kNodeTypeLineConnector)) {
            (void)m_player->RegisterVolumeNotification(index, direction);
        }
        record.endpointIndex = index;
        ++used;
    }
    return used >= 1 ? S_OK : E_FAIL;
}

HRESULT AudioEndpointSet::RecordFor(int direction, int index, EndpointRecord** record) {
    if (m_player == nullptr) return E_FAIL;
    const int count = direction == kRender ? m_renderCount : m_captureCount;
    if (index < 0 || index >= count) return E_FAIL;
    *record = direction == kRender ? &m_render[index] : &m_capture[index];
    return S_OK;
}

const EndpointRecord* AudioEndpointSet::RenderRecord(int index) const {
    return index >= 0 && index < m_renderCount ? &m_render[index] : nullptr;
}

const EndpointRecord* AudioEndpointSet::CaptureRecord(int index) const {
    return index >= 0 && index < m_captureCount ? &m_capture[index] : nullptr;
}

}  // namespace veltrano::cpl
