#pragma once
// An ASIO host for the streaming tests. Its callbacks run on the driver's
// streaming thread: they only fill and record into storage prepared before
// start, and signal the test thread through an event.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "asio/core/asio_interface.h"

namespace ksdrv {

// The byte a host writes at offset i of output channel c's half in switch s.
uint8_t PatternByte(int s, int c, size_t i);

struct HostOptions {
    bool timeInfo = true;         // answers kAsioSupportsTimeInfo with 1
    bool callOutputReady = true;  // after filling its output, on either path
    int zeroSwitches = 0;         // the first switches write zeros
    // Marker bytes written into the top byte of each output sample (DoP
    // tests); empty: PatternByte everywhere.
    std::vector<uint8_t> markers;
    int foreignMarkerSwitch = -1;  // from this switch on one marker is wrong
    int skipOutputReadyAt = -1;    // the plain path's outputReady left out at this switch
    // Run at the end of switch s on the streaming thread (hosts stop or
    // dispose from there), and on a reset request (from asioMessage).
    std::function<void(int s)> onSwitch;
    std::function<void()> onReset;
};

// The kinds of host a driver meets: switches through bufferSwitchTimeInfo
// or plain bufferSwitch, each with and without a call to outputReady.
struct HostKind {
    const char* name;
    bool timeInfo;
    bool outputReady;
};
inline constexpr HostKind kHostKinds[] = {{"time info, outputReady", true, true},
                                          {"time info, no outputReady", true, false},
                                          {"plain, outputReady", false, true},
                                          {"plain, no outputReady", false, false}};
HostOptions OptionsFor(const HostKind& kind);

class TestHost {
public:
    static constexpr int kRecorded = 64;

    TestHost();
    ~TestHost();
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    // createBuffers for these channels (output channels first in `infos`).
    ASIOError Create(IASIO* driver, std::vector<ASIOBufferInfo> infos, long bufferSize,
                     size_t halfBytes, HostOptions options = {});
    ASIOCallbacks* Callbacks() { return &m_callbacks; }
    // Waits until at least n switches were delivered (generous timeout).
    bool WaitSwitches(int n, DWORD timeoutMs = 20000);
    bool WaitResets(int n, DWORD timeoutMs);

    int Switches() const { return m_switches.load(); }
    int Resets() const { return m_resets.load(); }
    int RateChanges() const { return m_rateChanges.load(); }
    long Flags(int s) const { return m_flags[s]; }
    long Half(int s) const { return m_halves[s]; }
    int64_t Position(int s) const { return m_positions[s]; }
    // Input channel `input` (index among the input infos) as seen in switch s.
    const std::vector<uint8_t>& Input(int s, int input) const { return m_inputs[s][input]; }
    const std::vector<ASIOBufferInfo>& Infos() const { return m_infos; }

private:
    static TestHost* s_current;
    static void BufferSwitch(long index, ASIOBool direct);
    static ASIOTime* BufferSwitchTimeInfo(ASIOTime* time, long index, ASIOBool direct);
    static void RateDidChange(ASIOSampleRate rate);
    static long Message(long selector, long value, void* message, double* opt);
    void OnSwitch(long index, const ASIOTime* time);
    void Fill(int s, long index);

    IASIO* m_driver = nullptr;
    HostOptions m_options;
    std::vector<ASIOBufferInfo> m_infos;
    size_t m_halfBytes = 0;
    ASIOCallbacks m_callbacks{};
    HANDLE m_event = nullptr;
    std::atomic<int> m_switches{0};
    std::atomic<int> m_resets{0};
    std::atomic<int> m_rateChanges{0};
    long m_flags[kRecorded] = {};
    long m_halves[kRecorded] = {};
    int64_t m_positions[kRecorded] = {};
    std::vector<std::vector<std::vector<uint8_t>>> m_inputs;
};

}  // namespace ksdrv
