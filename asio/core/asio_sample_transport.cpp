#include "asio/core/asio_sample.h"
#include "asio/core/device_commands.h"

namespace veltrano::asio {

ASIOError CAsioSample::CheckBufferInfos(const ASIOBufferInfo* infos, long count, long inputs,
                                        long outputs) const {
    if (count <= 0 || infos == nullptr) return ASE_InvalidParameter;
    // Both back ends index their routes with channelNum, so a channel the
    // current slots do not have, or one asked for twice (whose first buffers
    // would be lost), must be refused before any allocation.
    static_assert(kMaxChannelsPerSlot <= 64);
    uint64_t seen[kDirectionCount] = {0, 0};
    for (long i = 0; i < count; ++i) {
        const bool input = infos[i].isInput != ASIOFalse;
        const long channel = infos[i].channelNum;
        if (channel < 0 || channel >= (input ? inputs : outputs)) return ASE_InvalidParameter;
        const uint64_t bit = uint64_t{1} << channel;
        if ((seen[input ? 1 : 0] & bit) != 0) return ASE_InvalidParameter;
        seen[input ? 1 : 0] |= bit;
    }
    return ASE_OK;
}

// Releases by the slots the buffers were created on: a rate change while
// prepared moves the current slots, and counting channels there would leave
// the real buffers behind.
void CAsioSample::ReleaseBuffers() {
    for (Direction d : {Direction::kInput, Direction::kOutput}) {
        RateSlot* slot = m_state.InUseSlot(d);
        if (slot != nullptr && slot->channelCount > 0)
            m_backend->ReleaseChannels(m_state, d, *slot);
    }
}

void CAsioSample::AskHost() {
    m_state.hostTimeInfo = false;
    auto* message = m_state.callbacks.asioMessage;
    if (message == nullptr || message(kAsioEngineVersion, 0, nullptr, nullptr) <= 1) return;
    if (m_flags.canTimeInfo) {
        m_state.hostTimeInfo = message(kAsioSupportsTimeInfo, 0, nullptr, nullptr) == 1;
    }
}

ASIOError CAsioSample::createBuffers(ASIOBufferInfo* bufferInfos, long numChannels, long bufferSize,
                                     ASIOCallbacks* callbacks) {
    long inputs = 0;
    long outputs = 0;
    const ASIOError guard = QueryChannels(inputs, outputs);
    if (guard != ASE_OK) return guard;
    // A second set without disposing the first would orphan the first's
    // buffers and streams.
    if (m_state.state != kStateInitialized) return ASE_InvalidMode;
    if (callbacks == nullptr || bufferSize <= 0) return ASE_InvalidParameter;
    const ASIOError check = CheckBufferInfos(bufferInfos, numChannels, inputs, outputs);
    if (check != ASE_OK) return check;

    for (Direction d : {Direction::kOutput, Direction::kInput}) {
        m_state.InUseSlot(d) = m_state.CurrentSlot(d);
    }
    for (Direction d : {Direction::kInput, Direction::kOutput}) {
        RateSlot* slot = m_state.InUseSlot(d);
        const bool input = d == Direction::kInput;
        bool requested = false;
        for (long i = 0; i < numChannels; ++i) {
            requested = requested || (bufferInfos[i].isInput != ASIOFalse) == input;
        }
        if ((input ? inputs : outputs) == 0 || !requested) continue;
        if (slot == nullptr) return ASE_InvalidParameter;
        const ASIOError result =
            m_backend->AllocateChannels(m_state, d, *slot, bufferInfos, numChannels, bufferSize);
        if (result != ASE_OK) {
            ReleaseBuffers();
            return result;
        }
    }
    m_state.callbacks = *callbacks;
    if (m_backend->StartThreads(m_state) != ASE_OK) {
        ReleaseBuffers();
        m_state.callbacks = ASIOCallbacks{};
        return ASE_NoMemory;
    }
    AskHost();
    m_state.bufferSize = bufferSize;
    m_state.state = kStatePrepared;
    m_block.PublishPrepared(m_state.classId, static_cast<uint32_t>(bufferSize), m_state.asioRate);
    // The device must know it is about to receive native DSD.
    const DeviceIdentity& id = m_state.device;
    if (m_state.asioRate == kDsd64Rate) {
        SendDeviceCommand(id.usbVendorId, id.usbProductId, DeviceCommand::kDsd64, true);
    } else if (m_state.asioRate == kDsd128Rate) {
        SendDeviceCommand(id.usbVendorId, id.usbProductId, DeviceCommand::kDsd128, true);
    } else if (m_state.asioRate == kDsd256Rate) {
        SendDeviceCommand(id.usbVendorId, id.usbProductId, DeviceCommand::kDsd256, true);
    }
    return ASE_OK;
}

ASIOError CAsioSample::disposeBuffers() {
    long inputs = 0;
    long outputs = 0;
    const ASIOError guard = QueryChannels(inputs, outputs);
    if (m_state.state == kStateRunning) stop();
    if (m_state.state != kStatePrepared) return guard;
    m_backend->StopThreads(m_state);
    ReleaseBuffers();
    m_state.InUseSlot(Direction::kInput) = m_state.InUseSlot(Direction::kOutput) = nullptr;
    m_state.callbacks = ASIOCallbacks{};
    m_state.state = kStateInitialized;
    m_block.PublishDisposed(m_state.classId);
    // Whatever mode was active, the device leaves every native DSD mode.
    const DeviceIdentity& id = m_state.device;
    for (DeviceCommand c : {DeviceCommand::kDsd64, DeviceCommand::kDsd128, DeviceCommand::kDsd256}) {
        SendDeviceCommand(id.usbVendorId, id.usbProductId, c, false);
    }
    return guard;
}

ASIOError CAsioSample::start() {
    long inputs = 0;
    long outputs = 0;
    const ASIOError guard = QueryChannels(inputs, outputs);
    if (guard != ASE_OK) return guard;
    const bool transition = m_state.state == kStatePrepared;
    if (transition) {
        m_state.state = kStateRunning;
        m_block.PublishState(m_state.classId, kStatusRunning);
    }
    const ASIOError result = m_backend->OnStart(m_state, transition);
    if (result != ASE_OK && transition) {
        m_state.state = kStatePrepared;
        m_block.PublishState(m_state.classId, kStatusPrepared);
    }
    return result;
}

ASIOError CAsioSample::stop() {
    long inputs = 0;
    long outputs = 0;
    const ASIOError guard = QueryChannels(inputs, outputs);
    const bool transition = m_state.state == kStateRunning;
    // The streaming thread must stop even when the channel counts changed
    // under a running stream (a rate change).
    if (guard != ASE_OK && !transition) return guard;
    m_backend->OnStop(m_state, transition);
    if (transition) {
        m_state.state = kStatePrepared;
        m_block.PublishState(m_state.classId, kStatusPrepared);
    }
    // The streaming thread has stopped, so nothing sets the flag again
    // behind this exchange.
    if (InterlockedExchange(&m_state.dopDetected, 0) != 0) {
        SendDeviceCommand(m_state.device.usbVendorId, m_state.device.usbProductId,
                          DeviceCommand::kDop, false);
    }
    return guard;
}

ASIOError CAsioSample::getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) {
    long inputs = 0;
    long outputs = 0;
    if (QueryChannels(inputs, outputs) != ASE_OK) return ASE_NotPresent;
    const SwitchClock::Pair pair = m_state.reported.Read();
    const auto position = static_cast<uint64_t>(pair.position);
    const auto time = static_cast<uint64_t>(pair.timeNs);
    if (sPos != nullptr) {
        sPos->hi = static_cast<unsigned long>(position >> 32);
        sPos->lo = static_cast<unsigned long>(position & 0xFFFFFFFFu);
    }
    if (tStamp != nullptr) {
        tStamp->hi = static_cast<unsigned long>(time >> 32);
        tStamp->lo = static_cast<unsigned long>(time & 0xFFFFFFFFu);
    }
    return ASE_OK;
}

ASIOError CAsioSample::outputReady() {
    if (m_state.state != kStateRunning) return ASE_OK;
    return m_backend->OutputReady(m_state);
}

}  // namespace veltrano::asio
