#include "test_host.h"

#include <cstring>

namespace ksdrv {

TestHost* TestHost::s_current = nullptr;

uint8_t PatternByte(int s, int c, size_t i) {
    return static_cast<uint8_t>(s * 37 + c * 101 + i * 13 + (i >> 7) + 1);
}

HostOptions OptionsFor(const HostKind& kind) {
    HostOptions options;
    options.timeInfo = kind.timeInfo;
    options.callOutputReady = kind.outputReady;
    return options;
}

TestHost::TestHost() {
    m_event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    s_current = this;
}

TestHost::~TestHost() {
    if (s_current == this) s_current = nullptr;
    CloseHandle(m_event);
}

ASIOError TestHost::Create(IASIO* driver, std::vector<ASIOBufferInfo> infos, long bufferSize,
                           size_t halfBytes, HostOptions options) {
    (void)bufferSize;
    m_driver = driver;
    m_options = std::move(options);
    m_infos = std::move(infos);
    m_halfBytes = halfBytes;
    size_t inputs = 0;
    for (const ASIOBufferInfo& info : m_infos) inputs += info.isInput ? 1 : 0;
    // No input half is made for an output-only host: tests also offer sizes
    // the driver must refuse, whose halves would take gigabytes.
    const std::vector<uint8_t> half(inputs > 0 ? halfBytes : 0);
    m_inputs.assign(kRecorded, std::vector<std::vector<uint8_t>>(inputs, half));
    m_callbacks = {&BufferSwitch, &RateDidChange, &Message, &BufferSwitchTimeInfo};
    return driver->createBuffers(m_infos.data(), static_cast<long>(m_infos.size()), bufferSize,
                                 &m_callbacks);
}

bool TestHost::WaitSwitches(int n, DWORD timeoutMs) {
    const DWORD begin = GetTickCount();
    while (m_switches.load() < n) {
        const DWORD spent = GetTickCount() - begin;
        if (spent >= timeoutMs) return false;
        WaitForSingleObject(m_event, 50);
    }
    return true;
}

bool TestHost::WaitResets(int n, DWORD timeoutMs) {
    const DWORD begin = GetTickCount();
    while (m_resets.load() < n) {
        if (GetTickCount() - begin >= timeoutMs) return false;
        WaitForSingleObject(m_event, 50);
    }
    return true;
}

void TestHost::BufferSwitch(long index, ASIOBool) {
    if (s_current != nullptr) s_current->OnSwitch(index, nullptr);
}

ASIOTime* TestHost::BufferSwitchTimeInfo(ASIOTime* time, long index, ASIOBool) {
    if (s_current != nullptr) s_current->OnSwitch(index, time);
    return time;
}

void TestHost::RateDidChange(ASIOSampleRate) {
    if (s_current != nullptr) ++s_current->m_rateChanges;
}

long TestHost::Message(long selector, long, void*, double*) {
    switch (selector) {
        case kAsioEngineVersion:
            return 2;
        case kAsioSupportsTimeInfo:
            return s_current != nullptr && s_current->m_options.timeInfo ? 1 : 0;
        case kAsioResetRequest:
            if (s_current != nullptr) {
                ++s_current->m_resets;
                if (s_current->m_options.onReset) s_current->m_options.onReset();
                SetEvent(s_current->m_event);
            }
            return 1;
        default:
            return 0;
    }
}

void TestHost::Fill(int s, long index) {
    int c = 0;
    const size_t width = m_options.markers.empty() ? 0 : m_options.markers.size();
    for (const ASIOBufferInfo& info : m_infos) {
        if (info.isInput) continue;
        auto* buffer = static_cast<uint8_t*>(info.buffers[index]);
        if (s < m_options.zeroSwitches) {
            memset(buffer, 0, m_halfBytes);
        } else if (width == 0) {
            for (size_t i = 0; i < m_halfBytes; ++i) buffer[i] = PatternByte(s, c, i);
        } else {
            // markers[0] is the sample width; the rest is the marker cycle.
            const size_t b = m_options.markers[0];
            const size_t cycle = width - 1;
            for (size_t f = 0; f * b < m_halfBytes; ++f) {
                for (size_t i = 0; i + 1 < b; ++i) buffer[f * b + i] = PatternByte(s, c, f + i);
                buffer[f * b + b - 1] = m_options.markers[1 + f % cycle];
            }
            if (m_options.foreignMarkerSwitch >= 0 && s >= m_options.foreignMarkerSwitch)
                buffer[m_halfBytes / 2 / b * b + b - 1] = 0x42;
        }
        ++c;
    }
}

void TestHost::OnSwitch(long index, const ASIOTime* time) {
    const int s = m_switches.load();
    if (s < kRecorded) {
        m_halves[s] = index;
        m_flags[s] = time != nullptr ? static_cast<long>(time->timeInfo.flags) : -1;
        ASIOSamples position{};
        ASIOTimeStamp stamp{};
        m_driver->getSamplePosition(&position, &stamp);
        m_positions[s] = (static_cast<int64_t>(position.hi) << 32) | position.lo;
        size_t input = 0;
        for (const ASIOBufferInfo& info : m_infos) {
            if (!info.isInput) continue;
            memcpy(m_inputs[s][input].data(), info.buffers[index], m_halfBytes);
            ++input;
        }
    }
    Fill(s, index);
    if (m_options.callOutputReady && s != m_options.skipOutputReadyAt) {
        m_driver->outputReady();
    }
    ++m_switches;
    if (m_options.onSwitch) m_options.onSwitch(s);
    SetEvent(m_event);
}

}  // namespace ksdrv
