#pragma once
// Streaming through the driver: a host on the virtual device, and the check
// of what the device played against what the host wrote.

#include <memory>

#include "ksdrv_fixture.h"
#include "test_host.h"

namespace ksdrv {

struct StreamFormat {
    int bits = 16;          // device sample width
    uint32_t rate = 48000;  // host rate: a table rate or a native DSD rate
    long bufferSize = 480;
    bool Dsd() const { return rate > 384000; }
    size_t SampleBytes() const { return Dsd() ? 4 : static_cast<size_t>(bits / 8); }
    size_t HalfBytes() const {
        return Dsd() ? static_cast<size_t>(bufferSize) / 8
                     : static_cast<size_t>(bufferSize) * SampleBytes();
    }
    size_t Frames() const {
        return Dsd() ? static_cast<size_t>(bufferSize) / 32 : static_cast<size_t>(bufferSize);
    }
};

std::vector<ASIOBufferInfo> Channels(int outputs, int inputs);

class StreamingTest : public KsDriverTest {
protected:
    void TearDown() override {
        m_host.reset();
        m_driver.reset();
        KsDriverTest::TearDown();
    }
    // A driver initialised for the format (settings written first).
    IASIO* Open(const StreamFormat& format);
    ASIOError Create(const StreamFormat& format, std::vector<ASIOBufferInfo> infos,
                     HostOptions options = {});
    // Plays and records two channels each way and checks both directions
    // byte for byte, and that the switches came the way the host asked.
    void StreamBothWays(const StreamFormat& format, const HostKind& kind);

    std::unique_ptr<Driver> m_driver;
    std::unique_ptr<TestHost> m_host;
};

// Compares the bytes the device played on a 2-channel pin with what the
// host wrote: the first two packets are `silence`, packet p carries switch
// p − 2 (switches before `zeroSwitches` wrote zeros, except those `dsdFill`
// turned into 0x69). Returns the number of packets compared.
size_t ExpectPlayed(const std::vector<uint8_t>& played, const StreamFormat& format, uint8_t silence,
                    int zeroSwitches = 0, int filledSwitches = 0);

}  // namespace ksdrv
