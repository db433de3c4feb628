#include "asio/core/asio_sample.h"
#include "asio/core/buffer_math.h"
#include "common/rate_table.h"
#include "common/width_mask.h"

namespace veltrano::asio {
namespace {

constexpr size_t kNameField = 32;

// Appends `text` to a field of `size` bytes, always leaving it terminated.
void AppendBounded(char* field, size_t size, size_t& used, const char* text) {
    for (; *text != '\0' && used + 1 < size; ++text) field[used++] = *text;
    field[used] = '\0';
}

// DSD: fixed sizes, 10 ms at the DSD bit rate and ten times that.
struct DsdSizes {
    long preferred;
    long max;
};

DsdSizes DsdBufferSizes(uint32_t asioRate) {
    switch (asioRate) {
        case kDsd128Rate:
            return {56448, 564480};
        case kDsd256Rate:
            return {112896, 1128960};
        default:
            return {28224, 282240};
    }
}

// The host's double as a table rate, or 0 when it is none (including NaN,
// negative and huge values, whose conversion would be undefined).
uint32_t TruncatedRate(double rate) {
    if (!(rate >= 0.0 && rate < 4294967296.0)) return 0;
    return static_cast<uint32_t>(rate);
}

}  // namespace

void CAsioSample::getDriverName(char* name) {
    if (name == nullptr) return;
    size_t used = 0;
    AppendBounded(name, kNameField, used, m_state.device.deviceName);
}

long CAsioSample::getDriverVersion() { return 2; }

void CAsioSample::getErrorMessage(char*) {}

ASIOError CAsioSample::getChannels(long* numInputChannels, long* numOutputChannels) {
    long inputs = 0;
    long outputs = 0;
    const ASIOError result = QueryChannels(inputs, outputs);
    if (numInputChannels != nullptr) *numInputChannels = inputs;
    if (numOutputChannels != nullptr) *numOutputChannels = outputs;
    return result;
}

ASIOError CAsioSample::getLatencies(long* inputLatency, long* outputLatency) {
    long inputs = 0;
    long outputs = 0;
    long input = 0;
    long output = 0;
    const ASIOError result = QueryChannels(inputs, outputs);
    if (result == ASE_OK) {
        // Buffers exist while running too; the preferred size would then
        // misreport what the host actually streams with.
        if (m_state.state >= kStatePrepared) {
            input = m_state.bufferSize;
        } else {
            input = LatencyFrames(m_state.pcmRate, m_state.bufferDuration);
        }
        output = input * (m_state.queueDepth - 1);
        m_backend->Latencies(m_state, input, output);
    }
    if (inputLatency != nullptr) *inputLatency = input;
    if (outputLatency != nullptr) *outputLatency = output;
    return result;
}

ASIOError CAsioSample::getBufferSize(long* minSize, long* maxSize, long* preferredSize,
                                     long* granularity) {
    long inputs = 0;
    long outputs = 0;
    const ASIOError result = QueryChannels(inputs, outputs);
    if (result != ASE_OK) return result;
    long minimum, maximum, preferred, step;
    if (IsDsd()) {
        const DsdSizes sizes = DsdBufferSizes(m_state.asioRate);
        minimum = preferred = step = sizes.preferred;
        maximum = sizes.max;
    } else {
        const uint32_t rate = m_state.pcmRate;
        minimum = FramesForMs(rate, kMinBufferMs);
        maximum = FramesForMs(rate, kMaxBufferMs);
        preferred = FramesFor(rate, m_state.bufferDuration);
        step = static_cast<long>(rate / 1000);
    }
    BufferSizeRange device;
    if (m_backend->BufferSizes(m_state, device)) {
        minimum = device.minimum;
        maximum = device.maximum;
        preferred = device.preferred;
        step = device.granularity;
    }
    if (minSize != nullptr) *minSize = minimum;
    if (maxSize != nullptr) *maxSize = maximum;
    if (preferredSize != nullptr) *preferredSize = preferred;
    if (granularity != nullptr) *granularity = step;
    return ASE_OK;
}

ASIOError CAsioSample::canSampleRate(ASIOSampleRate sampleRate) {
    if (IsDsdRate(sampleRate)) {
        // Native DSD needs 32-bit device samples, which only the block's
        // owner can vouch for.
        if (!OwnsBlock() || (m_block.Read(&AsioStatusBlock::supportedBits) & kWidth32Bit) == 0) {
            return ASE_NoClock;
        }
        sampleRate = DsdCarrierRate(sampleRate);
    }
    const uint32_t rate = TruncatedRate(sampleRate);
    for (Direction d : {Direction::kInput, Direction::kOutput}) {
        const RateSlot* slot = m_state.table.Find(d, rate);
        if (slot != nullptr && slot->supported && slot->channelCount > 0) return ASE_OK;
    }
    return ASE_NotPresent;
}

ASIOError CAsioSample::getSampleRate(ASIOSampleRate* sampleRate) {
    long inputs = 0;
    long outputs = 0;
    const ASIOError result = QueryChannels(inputs, outputs);
    if (result != ASE_OK) return result;
    if (sampleRate == nullptr) return ASE_OK;
    if (m_state.pcmRate == 0) {
        *sampleRate = 0;
        return ASE_NoClock;
    }
    *sampleRate = IsDsd() ? m_state.asioRate : m_state.pcmRate;
    return ASE_OK;
}

ASIOError CAsioSample::setSampleRate(ASIOSampleRate sampleRate) {
    const ASIOError check = canSampleRate(sampleRate);
    if (check != ASE_OK) return check;
    const uint32_t rate = TruncatedRate(sampleRate);
    bool changed = false;
    if (rate != m_state.asioRate) {
        m_state.asioRate = rate;
        changed = true;
    }
    const uint32_t carrier = IsDsd() ? DsdCarrierRate(m_state.asioRate) : m_state.asioRate;
    // Leaving native DSD gives the user's width back: the 32-bit carrier
    // words were DSD's, not a choice of the user.
    if (!IsDsd() && m_state.userBitsPerSample != 0 &&
        m_state.bitsPerSample != m_state.userBitsPerSample) {
        m_state.bitsPerSample = m_state.userBitsPerSample;
        m_block.PublishWidth(static_cast<uint32_t>(m_state.bitsPerSample));
    }
    if (carrier != m_state.pcmRate || changed) {
        m_state.pcmRate = carrier;
        m_block.PublishSampleRate(carrier);
        for (Direction d : {Direction::kOutput, Direction::kInput}) {
            if (RateSlot* slot = m_state.table.Find(d, carrier)) m_state.CurrentSlot(d) = slot;
        }
        if (m_state.callbacks.sampleRateDidChange != nullptr) {
            // The host's rate: in native DSD the carrier rate would put the
            // host's position arithmetic 32 times off.
            m_state.callbacks.sampleRateDidChange(m_state.HostRate());
        }
        if (m_state.callbacks.asioMessage != nullptr) {
            m_state.callbacks.asioMessage(kAsioResetRequest, 0, nullptr, nullptr);
        }
        m_state.rateChanged = 1;
    }
    return ASE_OK;
}

ASIOError CAsioSample::getClockSources(ASIOClockSource* clocks, long* numSources) {
    long inputs = 0;
    long outputs = 0;
    const ASIOError result = QueryChannels(inputs, outputs);
    if (result != ASE_OK) return result;
    if (numSources == nullptr) return ASE_InvalidParameter;
    if (*numSources > 0 && clocks != nullptr) {
        *clocks = ASIOClockSource{0, -1, -1, ASIOTrue, {}};
        size_t used = 0;
        AppendBounded(clocks->name, sizeof(clocks->name), used, "Internal");
    }
    *numSources = 1;
    return ASE_OK;
}

ASIOError CAsioSample::setClockSource(long reference) {
    long inputs = 0;
    long outputs = 0;
    const ASIOError result = QueryChannels(inputs, outputs);
    if (result != ASE_OK) return result;
    return reference > 1 ? ASE_NotPresent : ASE_OK;
}

ASIOError CAsioSample::getChannelInfo(ASIOChannelInfo* info) {
    long inputs = 0;
    long outputs = 0;
    const ASIOError result = QueryChannels(inputs, outputs);
    if (result != ASE_OK) return result;
    if (info == nullptr) return ASE_InvalidParameter;
    const bool input = info->isInput != ASIOFalse;
    const Direction direction = input ? Direction::kInput : Direction::kOutput;
    if (info->channel < 0 || info->channel >= (input ? inputs : outputs)) {
        return ASE_InvalidParameter;
    }
    const RateSlot* slot = m_state.CurrentSlot(direction);
    if (slot == nullptr) return ASE_NotPresent;
    const ChannelRoute& route = slot->routes[static_cast<size_t>(info->channel)];
    info->isActive = m_backend->ChannelActive(route) ? ASIOTrue : ASIOFalse;
    info->channelGroup = m_backend->ChannelGroup(direction, route);
    if (IsDsd()) {
        info->type = ASIOSTDSDInt8MSB1;
        m_state.bitsPerSample = 32;
        m_block.PublishNativeDsdWidth();
    } else {
        info->type = m_backend->PcmSampleType(direction, m_state.bitsPerSample);
    }
    size_t used = 0;
    AppendBounded(info->name, sizeof(info->name), used, m_state.device.deviceName);
    AppendBounded(info->name, sizeof(info->name), used, input ? "_IN_" : "_OUT_");
    AppendBounded(info->name, sizeof(info->name), used, info->channel == 0 ? "L" : "R");
    return ASE_OK;
}

}  // namespace veltrano::asio
