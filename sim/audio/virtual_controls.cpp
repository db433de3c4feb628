#include "sim/audio/virtual_controls.h"

#include "sim/audio/sim_controls.h"
#include "sim/audio/sim_endpoint.h"
#include "sim/audio/sim_notify.h"

namespace veltrano::sim {
namespace {

bool SetState(bool render, size_t index, DWORD state) {
    const auto endpoint = FindEndpoint(render, index);
    if (!endpoint) return false;
    {
        std::lock_guard<std::mutex> guard(endpoint->controls->lock);
        if (endpoint->controls->state == state) return true;
        endpoint->controls->state = state;
    }
    NotifyStateChanged(endpoint->id, state);
    return true;
}

}  // namespace

std::shared_ptr<EndpointState> FindEndpoint(bool render, size_t index) {
    const auto world = CurrentWorld();
    const EndpointList& list = render ? world->render : world->capture;
    return index < list.size() ? list[index] : nullptr;
}

bool UnplugEndpoint(bool render, size_t index) {
    return SetState(render, index, DEVICE_STATE_UNPLUGGED);
}

bool PlugEndpoint(bool render, size_t index) {
    return SetState(render, index, DEVICE_STATE_ACTIVE);
}

bool SetDeviceFormatExternally(bool render, size_t index, const WAVEFORMATEXTENSIBLE& format) {
    const auto endpoint = FindEndpoint(render, index);
    if (!endpoint) return false;
    // The other program has the rights this process may lack.
    StoredValue stored;
    stored.key = kDeviceFormatKey;
    stored.type = VT_BLOB;
    const auto* bytes = reinterpret_cast<const uint8_t*>(&format);
    stored.blob.assign(bytes, bytes + sizeof(format));
    {
        std::lock_guard<std::mutex> guard(endpoint->controls->lock);
        bool replaced = false;
        for (StoredValue& old : endpoint->controls->written) {
            if (IsEqualGUID(old.key.fmtid, kDeviceFormatKey.fmtid) &&
                old.key.pid == kDeviceFormatKey.pid) {
                old = stored;
                replaced = true;
            }
        }
        if (!replaced) endpoint->controls->written.push_back(stored);
    }
    NotifyPropertyChanged(endpoint->id, kDeviceFormatKey);
    return true;
}

bool SetLevelAsMixer(bool render, size_t index, uint32_t channel, float levelDb) {
    const auto endpoint = FindEndpoint(render, index);
    return endpoint && SUCCEEDED(SetChannelLevel(*endpoint, channel, levelDb, nullptr));
}

bool SetMuteAsMixer(bool render, size_t index, bool mute) {
    const auto endpoint = FindEndpoint(render, index);
    return endpoint && SUCCEEDED(SetEndpointMute(*endpoint, mute, nullptr));
}

void DenyPropertyWrites(bool deny) { SetPropertyWritesDenied(deny); }

std::vector<PROPERTYKEY> WrittenKeys(bool render, size_t index) {
    const auto endpoint = FindEndpoint(render, index);
    if (!endpoint) return {};
    std::lock_guard<std::mutex> guard(endpoint->controls->lock);
    return endpoint->controls->writeLog;
}

bool WrittenBlob(bool render, size_t index, const PROPERTYKEY& key, std::vector<uint8_t>* blob) {
    const auto endpoint = FindEndpoint(render, index);
    if (!endpoint || blob == nullptr) return false;
    std::lock_guard<std::mutex> guard(endpoint->controls->lock);
    const StoredValue* stored = FindStored(*endpoint->controls, key);
    if (stored == nullptr || stored->type != VT_BLOB) return false;
    *blob = stored->blob;
    return true;
}

bool EndpointDeviceFormat(bool render, size_t index, WAVEFORMATEXTENSIBLE* format) {
    const auto endpoint = FindEndpoint(render, index);
    if (!endpoint || format == nullptr) return false;
    *format = CurrentDeviceFormat(*endpoint);
    return true;
}

bool EndpointLevel(bool render, size_t index, uint32_t channel, float* levelDb) {
    const auto endpoint = FindEndpoint(render, index);
    if (!endpoint || levelDb == nullptr) return false;
    std::lock_guard<std::mutex> guard(endpoint->controls->lock);
    if (channel >= endpoint->controls->levels.size()) return false;
    *levelDb = endpoint->controls->levels[channel];
    return true;
}

bool EndpointMute(bool render, size_t index, bool* mute) {
    const auto endpoint = FindEndpoint(render, index);
    if (!endpoint || mute == nullptr) return false;
    std::lock_guard<std::mutex> guard(endpoint->controls->lock);
    *mute = endpoint->controls->mute;
    return true;
}

size_t RegisteredVolumeCallbacks() {
    const auto world = CurrentWorld();
    size_t count = 0;
    for (const EndpointList* list : {&world->render, &world->capture}) {
        for (const auto& endpoint : *list) {
            std::lock_guard<std::mutex> guard(endpoint->controls->lock);
            count += endpoint->controls->callbacks.size();
        }
    }
    return count;
}

size_t RegisteredNotificationClients() { return NotificationClientCount(); }

void WaitForVirtualNotifications() { WaitForNotificationThread(); }

}  // namespace veltrano::sim
