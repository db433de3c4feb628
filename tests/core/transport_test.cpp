// Buffer and transport slots over the scripted back end: the order in which
// the back end is driven, the host callbacks, and the destruction order.
#include <cstring>

#include "common/asio_status_block.h"
#include "core_fixture.h"

namespace veltrano::test {
namespace {

using TransportTest = CoreTest;

struct HostCalls {
    int rateChanges = 0;
    double lastRate = 0;
    int resetRequests = 0;
    int engineVersionQueries = 0;
};
HostCalls g_host;

void BufferSwitch(long, ASIOBool) {}
void RateDidChange(ASIOSampleRate rate) {
    ++g_host.rateChanges;
    g_host.lastRate = rate;
}
long Message(long selector, long, void*, double*) {
    if (selector == kAsioResetRequest) ++g_host.resetRequests;
    if (selector == kAsioEngineVersion) {
        ++g_host.engineVersionQueries;
        return 2;
    }
    return selector == kAsioSupportsTimeInfo ? 1 : 0;
}
ASIOTime* SwitchTimeInfo(ASIOTime* params, long, ASIOBool) { return params; }

ASIOCallbacks Callbacks() { return {BufferSwitch, RateDidChange, Message, SwitchTimeInfo}; }

class TransportFixture : public TransportTest {
protected:
    void SetUp() override {
        TransportTest::SetUp();
        g_host = HostCalls{};
    }
};

using TransportFlow = TransportFixture;

TEST_F(TransportFlow, BuffersStartStopAndDisposeDriveTheBackEndInOrder) {
    VELTRANO_SKIP_WITHOUT_CHILD_PROCESSES();
    HostDriver driver;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASIOBufferInfo infos[4] = {
        {ASIOFalse, 0, {}}, {ASIOFalse, 1, {}}, {ASIOTrue, 0, {}}, {ASIOTrue, 1, {}}};
    ASIOCallbacks callbacks = Callbacks();
    ASSERT_EQ(driver->createBuffers(infos, 4, 512, &callbacks), ASE_OK);
    for (const ASIOBufferInfo& info : infos) {
        EXPECT_NE(info.buffers[0], nullptr);
        EXPECT_NE(info.buffers[1], nullptr);
    }
    EXPECT_EQ(g_host.engineVersionQueries, 1);
    const BackendLog& log = Log();
    EXPECT_LT(log.IndexOf("Allocate in"), log.IndexOf("Allocate out"));
    EXPECT_LT(log.IndexOf("Allocate out"), log.IndexOf("StartThreads"));
    EXPECT_EQ(PeerReadBlock(offsetof(AsioStatusBlock, state)), 3u);
    EXPECT_EQ(PeerReadBlock(offsetof(AsioStatusBlock, bufferSize)), 512u);

    long in = 0, out = 0;
    ASSERT_EQ(driver->getLatencies(&in, &out), ASE_OK);
    EXPECT_EQ(in, 512);
    EXPECT_EQ(out, 512);
    ASIOChannelInfo info{};
    info.channel = 1;
    info.isInput = ASIOTrue;
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.isActive, ASIOTrue);

    // A second set without disposing the first is refused.
    EXPECT_EQ(driver->createBuffers(infos, 4, 512, &callbacks), ASE_InvalidMode);

    EXPECT_EQ(driver->outputReady(), ASE_OK);
    EXPECT_FALSE(log.Contains("OutputReady"));
    ASSERT_EQ(driver->start(), ASE_OK);
    EXPECT_EQ(PeerReadBlock(offsetof(AsioStatusBlock, state)), 4u);
    in = out = 0;
    ASSERT_EQ(driver->getLatencies(&in, &out), ASE_OK);
    EXPECT_EQ(in, 512);  // the real buffer, not the 10 ms preference
    EXPECT_EQ(out, 512);
    EXPECT_EQ(driver->outputReady(), ASE_OK);
    EXPECT_TRUE(log.Contains("OutputReady"));
    ASSERT_EQ(driver->stop(), ASE_OK);
    EXPECT_EQ(PeerReadBlock(offsetof(AsioStatusBlock, state)), 3u);
    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_TRUE(log.Contains("Stop idle"));
    ASSERT_EQ(driver->disposeBuffers(), ASE_OK);
    EXPECT_EQ(PeerReadBlock(offsetof(AsioStatusBlock, state)), 2u);
    EXPECT_LT(log.IndexOf("StopThreads"), log.IndexOf("Release in"));
    EXPECT_LT(log.IndexOf("Release in"), log.IndexOf("Release out"));
    info.channel = 1;
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.isActive, ASIOFalse);
}

TEST_F(TransportFlow, BadBufferRequestsAreRefusedBeforeAnyAllocation) {
    VELTRANO_SKIP_WITHOUT_CHILD_PROCESSES();
    HostDriver driver;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASIOCallbacks callbacks = Callbacks();
    ASIOBufferInfo outOfRange[1] = {{ASIOFalse, 2, {}}};
    EXPECT_EQ(driver->createBuffers(outOfRange, 1, 512, &callbacks), ASE_InvalidParameter);
    ASIOBufferInfo negative[1] = {{ASIOTrue, -1, {}}};
    EXPECT_EQ(driver->createBuffers(negative, 1, 512, &callbacks), ASE_InvalidParameter);
    ASIOBufferInfo good[1] = {{ASIOFalse, 0, {}}};
    EXPECT_EQ(driver->createBuffers(nullptr, 1, 512, &callbacks), ASE_InvalidParameter);
    EXPECT_EQ(driver->createBuffers(good, 0, 512, &callbacks), ASE_InvalidParameter);
    EXPECT_EQ(driver->createBuffers(good, 1, 0, &callbacks), ASE_InvalidParameter);
    EXPECT_EQ(driver->createBuffers(good, 1, 512, nullptr), ASE_InvalidParameter);
    EXPECT_FALSE(Log().Contains("Allocate out"));
    EXPECT_EQ(PeerReadBlock(offsetof(AsioStatusBlock, state)), 2u);
}

TEST_F(TransportFlow, DuplicateChannelsAreRefused) {
    HostDriver driver;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASIOCallbacks callbacks = Callbacks();
    ASIOBufferInfo twice[3] = {{ASIOFalse, 1, {}}, {ASIOTrue, 1, {}}, {ASIOFalse, 1, {}}};
    EXPECT_EQ(driver->createBuffers(twice, 3, 512, &callbacks), ASE_InvalidParameter);
    EXPECT_FALSE(Log().Contains("Allocate out"));
    EXPECT_EQ(driver->createBuffers(twice, 2, 512, &callbacks), ASE_OK);
}

TEST_F(TransportFlow, DisposeReleasesTheSlotsBuffersWereCreatedOn) {
    Script().inputChannels[4] = 0;  // no input at 96000
    HostDriver driver;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASIOCallbacks callbacks = Callbacks();
    ASIOBufferInfo infos[2] = {{ASIOFalse, 0, {}}, {ASIOTrue, 0, {}}};
    ASSERT_EQ(driver->createBuffers(infos, 2, 441, &callbacks), ASE_OK);
    ASSERT_EQ(driver->setSampleRate(96000.0), ASE_OK);
    long in = -1, out = -1;
    driver->getChannels(&in, &out);
    EXPECT_EQ(in, 0);
    ASSERT_EQ(driver->disposeBuffers(), ASE_OK);
    EXPECT_TRUE(Log().Contains("Release in"));
    EXPECT_TRUE(Log().Contains("Release out"));
}

TEST_F(TransportFlow, FailedAllocationOrThreadStartReleasesEverything) {
    HostDriver driver;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASIOCallbacks callbacks = Callbacks();
    ASIOBufferInfo infos[2] = {{ASIOFalse, 0, {}}, {ASIOTrue, 0, {}}};
    Script().startThreads = ASE_HWMalfunction;
    EXPECT_EQ(driver->createBuffers(infos, 2, 512, &callbacks), ASE_NoMemory);
    EXPECT_TRUE(Log().Contains("Release out"));
    EXPECT_EQ(driver->start(), ASE_OK);  // still initialized: nothing to start
    EXPECT_FALSE(Log().Contains("Start"));
    Script().startThreads = ASE_OK;
    Script().allocate = ASE_NoMemory;
    EXPECT_EQ(driver->createBuffers(infos, 2, 512, &callbacks), ASE_NoMemory);
    Script().allocate = ASE_OK;
    EXPECT_EQ(driver->createBuffers(infos, 2, 512, &callbacks), ASE_OK);
}

TEST_F(TransportFlow, RateChangeNotifiesTheHostOnlyOnAChange) {
    HostDriver driver;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASSERT_EQ(driver->setSampleRate(48000.0), ASE_OK);  // no callbacks yet
    ASIOBufferInfo infos[1] = {{ASIOFalse, 0, {}}};
    ASIOCallbacks callbacks = Callbacks();
    ASSERT_EQ(driver->createBuffers(infos, 1, 480, &callbacks), ASE_OK);
    EXPECT_EQ(g_host.rateChanges, 0);
    ASSERT_EQ(driver->setSampleRate(48000.0), ASE_OK);
    EXPECT_EQ(g_host.rateChanges, 0);
    EXPECT_EQ(g_host.resetRequests, 0);
    ASSERT_EQ(driver->setSampleRate(96000.0), ASE_OK);
    EXPECT_EQ(g_host.rateChanges, 1);
    EXPECT_EQ(g_host.lastRate, 96000.0);
    EXPECT_EQ(g_host.resetRequests, 1);
    // Native DSD: the host hears of the rate it set, not the carrier's.
    ASSERT_EQ(driver->setSampleRate(2822400.0), ASE_OK);
    EXPECT_EQ(g_host.lastRate, 2822400.0);
    EXPECT_EQ(g_host.resetRequests, 2);
}

TEST_F(TransportFlow, DestructionStopsDisposesSavesThenShutsDown) {
    VELTRANO_SKIP_WITHOUT_CHILD_PROCESSES();
    {
        HostDriver driver;
        ASSERT_EQ(driver->init(nullptr), ASIOTrue);
        ASSERT_EQ(driver->setSampleRate(176400.0), ASE_OK);
        ASIOBufferInfo infos[1] = {{ASIOFalse, 1, {}}};
        ASIOCallbacks callbacks = Callbacks();
        ASSERT_EQ(driver->createBuffers(infos, 1, 1024, &callbacks), ASE_OK);
        ASSERT_EQ(driver->start(), ASE_OK);
        EXPECT_FALSE(SettingsKeyExists());
    }
    const BackendLog& log = Log();
    ASSERT_TRUE(log.Contains("Shutdown"));
    EXPECT_LT(log.IndexOf("Stop"), log.IndexOf("StopThreads"));
    EXPECT_LT(log.IndexOf("StopThreads"), log.IndexOf("Release out"));
    EXPECT_LT(log.IndexOf("Release out"), log.IndexOf("Shutdown"));
    EXPECT_EQ(ReadSetting("SampleRate"), 176400u);
    EXPECT_FALSE(PeerReadBlock(0).has_value());  // the last view went with the object
}

}  // namespace
}  // namespace veltrano::test
