#include "asio/wasapi/wasapi_backend.h"

#include <cstring>

namespace veltrano::asio {
namespace {

constexpr char kDeviceName[] = "Veltrano-HD";
constexpr int kWidths[] = {16, 24, 32};

}  // namespace

HRESULT WasapiBackend::Discover(DeviceIdentity& identity) {
    FoundEndpoints found;
    HRESULT hr = SearchEndpoints(true, false, found);
    if (FAILED(hr)) return hr;
    std::strcpy(identity.deviceName, kDeviceName);
    identity.usbVendorId = m_vendorId = found.vendorId;
    identity.usbProductId = m_productId = found.productId;
    identity.hasInput = m_hasInput = static_cast<bool>(found.capture);

    m_packed24In32 = false;
    uint8_t mask = 0;
    for (uint32_t rate : kRateTable) {
        for (int j = 0; j < 3; ++j) {
            const int w = kWidths[j];
            HRESULT out = ProbeExclusiveFormat(found.render.Get(), rate, w, w);
            if (w == 24 && FAILED(out)) {
                const HRESULT packed = ProbeExclusiveFormat(found.render.Get(), rate, 32, 24);
                if (SUCCEEDED(packed)) m_packed24In32 = true;
                out = packed;
            }
            const HRESULT in =
                m_hasInput ? ProbeExclusiveFormat(found.capture.Get(), rate, w, w) : S_OK;
            if (SUCCEEDED(out) && SUCCEEDED(in)) mask |= static_cast<uint8_t>(1u << (j + 1));
        }
    }
    // The probe's endpoints are released here; init finds them again.
    if (mask == 0) return E_FAIL;
    identity.widthMask = mask;
    return S_OK;
}

HRESULT WasapiBackend::CreateSyncObjects() {
    for (UniqueHandle& control : m_control) {
        if (!control) control.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
        if (!control) return E_OUTOFMEMORY;
    }
    if (!m_acknowledge) m_acknowledge.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!m_watchdogExit) m_watchdogExit.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!m_watchdogTimer) m_watchdogTimer.Reset(CreateWaitableTimerA(nullptr, FALSE, nullptr));
    if (!m_dopCommand) m_dopCommand.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!m_dopCommandSent) m_dopCommandSent.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!m_acknowledge || !m_watchdogExit || !m_watchdogTimer || !m_dopCommand ||
        !m_dopCommandSent) {
        return E_OUTOFMEMORY;
    }
    for (StreamSlots& direction : m_streams) {
        for (auto& slot : direction) {
            for (EndpointStream& stream : slot) {
                if (!stream.event) stream.event.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
                if (!stream.event) return E_OUTOFMEMORY;
            }
        }
    }
    return S_OK;
}

HRESULT WasapiBackend::Acquire(const DriverState& driver) {
    m_hasInput = driver.device.hasInput;
    FoundEndpoints found;
    const HRESULT hr = SearchEndpoints(m_hasInput, m_hasInput, found);
    if (FAILED(hr)) return hr;
    // A second init re-finds the endpoints; the table's streams still point
    // at the old ones until BuildTable refreshes them.
    m_render = found.render;
    m_capture = found.capture;
    // Sizes are learnt again for the endpoints found now.
    m_sizeRules = {};
    m_dsdSizeRules = {};
    m_vendorId = found.vendorId;
    m_productId = found.productId;
    return CreateSyncObjects();
}

void WasapiBackend::BuildTable(Direction direction, int bitsPerSample, DirectionSlots& slots) {
    const int d = static_cast<int>(direction);
    for (auto& slot : m_streams[d]) {
        for (EndpointStream& stream : slot) stream.Clear();
    }
    if (direction == Direction::kInput && !m_capture) {
        for (RateSlot& slot : slots) slot.supported = true;
        return;
    }
    IMMDevice* endpoint = direction == Direction::kOutput ? m_render.Get() : m_capture.Get();
    const bool packed = direction == Direction::kOutput && Packed(bitsPerSample);
    for (int i = 0; i < kRateCount; ++i) {
        RateSlot& slot = slots[i];
        slot.Reset(kRateTable[i]);
        const HRESULT hr = ProbeExclusiveFormat(endpoint, kRateTable[i],
                                                packed ? 32 : bitsPerSample, bitsPerSample);
        if (FAILED(hr)) continue;
        EndpointStream& stream = m_streams[d][i][0];
        stream.endpoint = endpoint;
        stream.maxChannels = 2;
        slot.AddStream(&stream, 2);
    }
}

ASIOSampleType WasapiBackend::PcmSampleType(Direction direction, int bitsPerSample) const {
    // 24-bit samples travel in 32-bit containers both ways: output as the
    // device takes them, input widened by the input copy.
    if (Packed(bitsPerSample)) return ASIOSTInt32LSB;
    return AsioBackend::PcmSampleType(direction, bitsPerSample);
}

bool WasapiBackend::ChannelActive(const ChannelRoute& route) const {
    return route.enabled && route.stream != nullptr && route.stream->ready;
}

void WasapiBackend::Shutdown() {
    // Threads that could not be waited for when their set ended are waited
    // for here (bounded), before the handles they use close.
    if (m_stuckWatchdog) WaitForSingleObject(m_stuckWatchdog.get(), kThreadEndMs);
    m_stuckWatchdog.Reset();
    // A thread still out after this leaks its halves rather than have them
    // freed under it.
    if (!SettleLeavingThread()) m_leavingThread.Reset();
    m_streamingThread.Reset();
    m_watchdogThread.Reset();
    for (UniqueHandle& control : m_control) control.Reset();
    m_watchdogExit.Reset();
    m_watchdogTimer.Reset();
    m_dopCommand.Reset();
    m_dopCommandSent.Reset();
    m_acknowledge.Reset();
    for (StreamSlots& direction : m_streams) {
        for (auto& slot : direction) {
            for (EndpointStream& stream : slot) {
                stream.event.Reset();
                stream.Clear();
            }
        }
    }
    m_render.Reset();
    m_capture.Reset();
}

}  // namespace veltrano::asio
