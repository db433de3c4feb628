// DSD-over-PCM markers in the host's output: status block and device
// command.
#include "common/asio_status_block.h"
#include "streaming_fixture.h"

namespace ksdrv {
namespace {

using veltrano::AsioStatusBlock;
using veltrano::asio::DeviceCommand;

class DopTest : public StreamingTest {
protected:
    struct Seen {
        uint32_t dsdActive;
        uint32_t dsd128;
        int dopOn;
        int dopOff;
    };
    // Streams `markers` (first entry: sample bytes) and reports the block
    // and the commands while running, then the commands after stop.
    Seen Run(const StreamFormat& format, std::vector<uint8_t> markers, int foreignFrom = -1) {
        IASIO* asio = Open(format);
        EXPECT_NE(asio, nullptr);
        if (asio == nullptr) return {};
        HostOptions options;
        options.markers = std::move(markers);
        options.foreignMarkerSwitch = foreignFrom;
        EXPECT_EQ(Create(format, Channels(2, 0), options), ASE_OK);
        EXPECT_EQ(asio->start(), ASE_OK);
        EXPECT_TRUE(m_host->WaitSwitches(10));
        BlockView block;
        Seen seen{block.Read(&AsioStatusBlock::dsdActive), block.Read(&AsioStatusBlock::dsd128), 0,
                  0};
        EXPECT_EQ(asio->stop(), ASE_OK);
        // stop waits for a command still being sent, so the order holds.
        const std::vector<Command> commands = SentCommands();
        for (size_t i = 0; i < commands.size(); ++i) {
            if (commands[i].command != DeviceCommand::kDop) continue;
            if (commands[i].on) {
                ++seen.dopOn;
                EXPECT_EQ(seen.dopOff, 0) << "off before on";
            } else {
                ++seen.dopOff;
            }
        }
        EXPECT_EQ(asio->disposeBuffers(), ASE_OK);
        m_host.reset();
        m_driver.reset();
        return seen;
    }
};

TEST_F(DopTest, AlternatingMarkersAt176400SetDsdActiveAndSendOneCommand) {
    const Seen seen = Run({24, 176400, 1764}, {3, 0x05, 0xFA});
    EXPECT_EQ(seen.dsdActive, 1u);
    EXPECT_EQ(seen.dsd128, 0u);
    EXPECT_EQ(seen.dopOn, 1);
    EXPECT_EQ(seen.dopOff, 1);
}

TEST_F(DopTest, At352800TheBlockShowsDsd128AndPairsOfMarkersCountToo) {
    Seen seen = Run({24, 352800, 3528}, {3, 0x05, 0xFA});
    EXPECT_EQ(seen.dsdActive, 1u);
    EXPECT_EQ(seen.dsd128, 1u);
    ClearCommands();
    sim::Reset();
    seen = Run({24, 176400, 1764}, {3, 0x05, 0x05, 0xFA, 0xFA});
    EXPECT_EQ(seen.dsdActive, 1u);
    EXPECT_EQ(seen.dopOn, 1);
    // 32-bit PCM samples are scanned as well, on their top byte.
    ClearCommands();
    sim::Reset();
    seen = Run({32, 176400, 1764}, {4, 0xFA, 0x05});
    EXPECT_EQ(seen.dsdActive, 1u);
    EXPECT_EQ(seen.dopOn, 1);
}

TEST_F(DopTest, OneForeignMarkerClearsDsdActiveAgain) {
    const Seen seen = Run({24, 176400, 1764}, {3, 0x05, 0xFA}, 4);
    EXPECT_EQ(seen.dsdActive, 0u);
    EXPECT_EQ(seen.dsd128, 0u);
    // The device was told once and is told again only at stop.
    EXPECT_EQ(seen.dopOn, 1);
    EXPECT_EQ(seen.dopOff, 1);
}

TEST_F(DopTest, NoScanAt96000NorWhileStreamingNativeDsd) {
    Seen seen = Run({24, 96000, 960}, {3, 0x05, 0xFA});
    EXPECT_EQ(seen.dsdActive, 0u);
    EXPECT_EQ(seen.dopOn, 0);
    EXPECT_EQ(seen.dopOff, 0);
    // DSD128 travels as 32-bit samples at 176400 Hz: the same bytes are
    // native DSD there, not markers.
    ClearCommands();
    sim::Reset();
    seen = Run({32, 5644800, 56448}, {4, 0x05, 0xFA});
    // The block shows the native mode as it was published at createBuffers;
    // a scan would have rewritten dsd128 from the 176400 Hz carrier.
    EXPECT_EQ(seen.dsdActive, 1u);
    EXPECT_EQ(seen.dsd128, 1u);
    EXPECT_EQ(seen.dopOn, 0);
}

}  // namespace
}  // namespace ksdrv
