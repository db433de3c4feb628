// The driver object as a host sees it: created like the class factory does,
// used only through IASIO*.
#include <cmath>
#include <cstring>
#include <limits>

#include "common/contract/status_block.h"
#include "common/width_mask.h"
#include "core_fixture.h"

namespace veltrano::test {
namespace {

using DriverTest = CoreTest;

ASIOChannelInfo ChannelInfo(IASIO* asio, long channel, bool input, ASIOError* result = nullptr) {
    ASIOChannelInfo info{};
    info.channel = channel;
    info.isInput = input ? ASIOTrue : ASIOFalse;
    const ASIOError r = asio->getChannelInfo(&info);
    if (result != nullptr) *result = r;
    return info;
}

TEST_F(DriverTest, CreationFailsWithoutDeviceAndLeavesNothingBehind) {
    VELTRANO_SKIP_WITHOUT_CHILD_PROCESSES();
    Script().discover = E_FAIL;
    {
        HostDriver driver;
        EXPECT_EQ(driver.created, E_FAIL);
        EXPECT_EQ(driver.get(), nullptr);
    }
    // The claim made before discovery went with the object, and so did the
    // block itself.
    EXPECT_FALSE(PeerReadBlock(0).has_value());
    EXPECT_FALSE(SettingsKeyExists());
}

TEST_F(DriverTest, QueryInterfaceAnswersUnknownAndOwnClassOnly) {
    HostDriver driver;
    ASSERT_EQ(driver.created, S_OK);
    void* p = nullptr;
    ASSERT_EQ(driver->QueryInterface(IID_IUnknown, &p), S_OK);
    EXPECT_EQ(p, driver.get());
    driver->Release();
    ASSERT_EQ(driver->QueryInterface(kDriverClsid, &p), S_OK);
    EXPECT_EQ(p, driver.get());
    driver->Release();
    p = reinterpret_cast<void*>(1);
    EXPECT_EQ(driver->QueryInterface(kOtherClsid, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(driver->QueryInterface(IID_IClassFactory, &p), E_NOINTERFACE);
    EXPECT_EQ(driver->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(driver->AddRef(), 2u);
    EXPECT_EQ(driver->Release(), 1u);
}

// Calls slot `index` of the object's first vtable the way a host compiled
// against the published layout does.
template <typename Result, typename... Args>
Result CallSlot(IASIO* asio, int index, Args... args) {
#if defined(_WIN64)
    using Fn = Result (*)(IASIO*, Args...);
#else
    using Fn = Result(__thiscall*)(IASIO*, Args...);
#endif
    void** vtable = *reinterpret_cast<void***>(asio);
    return reinterpret_cast<Fn>(vtable[index])(asio, args...);
}

TEST_F(DriverTest, VtableSlotsFollowThePublishedOrder) {
    HostDriver driver;
    ASSERT_EQ(driver.created, S_OK);
    EXPECT_EQ(CallSlot<long>(driver.get(), 3, static_cast<void*>(nullptr)), ASIOTrue);  // init
    char name[32] = {};
    CallSlot<void>(driver.get(), 4, static_cast<char*>(name));  // getDriverName
    EXPECT_STREQ(name, "Veltrano-HD");
    EXPECT_EQ(CallSlot<long>(driver.get(), 5), 2);  // getDriverVersion
    long in = 0, out = 0;
    EXPECT_EQ(CallSlot<long>(driver.get(), 9, &in, &out), ASE_OK);  // getChannels
    EXPECT_EQ(in, 2);
    EXPECT_EQ(out, 2);
    EXPECT_EQ(CallSlot<long>(driver.get(), 12, 48000.0), ASE_OK);  // canSampleRate
    EXPECT_EQ(CallSlot<long>(driver.get(), 12, 12345.0), ASE_NotPresent);
    EXPECT_EQ(CallSlot<long>(driver.get(), 16, 2L), ASE_NotPresent);  // setClockSource
    EXPECT_EQ(CallSlot<long>(driver.get(), 22, static_cast<long>(kAsioCanTimeInfo),
                             static_cast<void*>(nullptr)),
              ASE_SUCCESS);                               // future
    EXPECT_EQ(CallSlot<long>(driver.get(), 23), ASE_OK);  // outputReady
    EXPECT_FALSE(Log().Contains("OutputReady"));          // not running
}

TEST_F(DriverTest, GuardedOperationsBeforeInitReportNotPresent) {
    HostDriver driver;
    ASSERT_EQ(driver.created, S_OK);
    long a = 7, b = 7, c = 7, d = 7;
    EXPECT_EQ(driver->getChannels(&a, &b), ASE_NotPresent);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);
    a = b = 7;
    EXPECT_EQ(driver->getLatencies(&a, &b), ASE_NotPresent);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(driver->getBufferSize(&a, &b, &c, &d), ASE_NotPresent);
    ASIOSampleRate rate = 0;
    EXPECT_EQ(driver->getSampleRate(&rate), ASE_NotPresent);
    EXPECT_EQ(driver->setSampleRate(44100.0), ASE_NotPresent);
    ASIOClockSource clock{};
    long sources = 1;
    EXPECT_EQ(driver->getClockSources(&clock, &sources), ASE_NotPresent);
    EXPECT_EQ(driver->setClockSource(0), ASE_NotPresent);
    ASIOError result = ASE_OK;
    ChannelInfo(driver.get(), 0, false, &result);
    EXPECT_EQ(result, ASE_NotPresent);
    ASIOBufferInfo infos[1] = {{ASIOFalse, 0, {nullptr, nullptr}}};
    ASIOCallbacks callbacks{};
    EXPECT_EQ(driver->createBuffers(infos, 1, 512, &callbacks), ASE_NotPresent);
    EXPECT_EQ(driver->start(), ASE_NotPresent);
    EXPECT_EQ(driver->stop(), ASE_NotPresent);
    EXPECT_EQ(driver->disposeBuffers(), ASE_NotPresent);
    ASIOSamples position{};
    ASIOTimeStamp stamp{};
    EXPECT_EQ(driver->getSamplePosition(&position, &stamp), ASE_NotPresent);
    EXPECT_FALSE(Log().Contains("Allocate out"));
}

TEST_F(DriverTest, DefaultFiguresAt44100AndTenMilliseconds) {
    HostDriver driver;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    char name[32];
    std::memset(name, 'x', sizeof(name));
    driver->getDriverName(name);
    EXPECT_STREQ(name, "Veltrano-HD");
    EXPECT_EQ(driver->getDriverVersion(), 2);
    char message[8] = "keep";
    driver->getErrorMessage(message);
    EXPECT_STREQ(message, "keep");

    long min = 0, max = 0, preferred = 0, granularity = 0;
    ASSERT_EQ(driver->getBufferSize(&min, &max, &preferred, &granularity), ASE_OK);
    EXPECT_EQ(min, 88);
    EXPECT_EQ(max, 26460);
    EXPECT_EQ(preferred, 441);
    EXPECT_EQ(granularity, 44);
    long input = 0, output = 0;
    ASSERT_EQ(driver->getLatencies(&input, &output), ASE_OK);
    EXPECT_EQ(input, 440);
    EXPECT_EQ(output, 440);
    ASIOSampleRate rate = 0;
    ASSERT_EQ(driver->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 44100.0);

    // Every pointer the interface lets a host leave out.
    EXPECT_EQ(driver->getBufferSize(nullptr, nullptr, &preferred, nullptr), ASE_OK);
    EXPECT_EQ(driver->getChannels(nullptr, &output), ASE_OK);
    EXPECT_EQ(driver->getSampleRate(nullptr), ASE_OK);
    EXPECT_EQ(driver->getLatencies(nullptr, nullptr), ASE_OK);
    EXPECT_EQ(driver->getSamplePosition(nullptr, nullptr), ASE_OK);
    // And the ones it does not: refused, never dereferenced.
    EXPECT_EQ(driver->getChannelInfo(nullptr), ASE_InvalidParameter);
    EXPECT_EQ(driver->getClockSources(nullptr, nullptr), ASE_InvalidParameter);
    driver->getDriverName(nullptr);
    EXPECT_EQ(driver->future(kAsioSetIoFormat, nullptr), ASE_InvalidParameter);
    EXPECT_EQ(driver->future(kAsioGetIoFormat, nullptr), ASE_InvalidParameter);
}

TEST_F(DriverTest, ClockSources) {
    HostDriver driver;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASIOClockSource clocks[2];
    std::memset(clocks, 0x55, sizeof(clocks));
    long count = 2;
    ASSERT_EQ(driver->getClockSources(clocks, &count), ASE_OK);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(clocks[0].index, 0);
    EXPECT_EQ(clocks[0].associatedChannel, -1);
    EXPECT_EQ(clocks[0].associatedGroup, -1);
    EXPECT_EQ(clocks[0].isCurrentSource, ASIOTrue);
    EXPECT_STREQ(clocks[0].name, "Internal");
    EXPECT_EQ(clocks[1].index, 0x55555555);  // only one entry written
    count = 0;
    EXPECT_EQ(driver->getClockSources(nullptr, &count), ASE_OK);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(driver->setClockSource(0), ASE_OK);
    EXPECT_EQ(driver->setClockSource(1), ASE_OK);
    EXPECT_EQ(driver->setClockSource(2), ASE_NotPresent);
}

TEST_F(DriverTest, ChannelNamesTypesAndRange) {
    Script().deviceName = "Veltrano-HD with a long friendly name";
    Script().widthMask = kWidth24Bit;  // 16 requested, 24 is what the device takes
    HostDriver driver;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASIOError result = ASE_NotPresent;
    ASIOChannelInfo info = ChannelInfo(driver.get(), 0, false, &result);
    ASSERT_EQ(result, ASE_OK);
    EXPECT_EQ(std::strlen(info.name), 31u);
    EXPECT_EQ(std::string(info.name), std::string("Veltrano-HD with a long friendl"));
    EXPECT_EQ(info.type, ASIOSTInt24LSB);
    EXPECT_EQ(info.isActive, ASIOFalse);
    EXPECT_EQ(info.channelGroup, 1);  // the scripted stream of 44100
    info = ChannelInfo(driver.get(), 1, true, &result);
    EXPECT_EQ(info.channelGroup, 101);

    ChannelInfo(driver.get(), 2, false, &result);
    EXPECT_EQ(result, ASE_InvalidParameter);
    ChannelInfo(driver.get(), -1, true, &result);
    EXPECT_EQ(result, ASE_InvalidParameter);
}

TEST_F(DriverTest, ChannelNamesWithTheDeviceName) {
    Script().widthMask = kWidth32Bit;
    HostDriver driver;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    EXPECT_STREQ(ChannelInfo(driver.get(), 0, false).name, "Veltrano-HD_OUT_L");
    EXPECT_STREQ(ChannelInfo(driver.get(), 1, false).name, "Veltrano-HD_OUT_R");
    EXPECT_STREQ(ChannelInfo(driver.get(), 0, true).name, "Veltrano-HD_IN_L");
    EXPECT_EQ(ChannelInfo(driver.get(), 1, true).type, ASIOSTInt32LSB);
}

TEST_F(DriverTest, DeviceWithoutInputFollowsTheOutputSide) {
    VELTRANO_SKIP_WITHOUT_CHILD_PROCESSES();
    Script().hasInput = false;
    Script().outputChannels = {0, 0, 4, 4, 0, 0, 0, 0, 0};
    HostDriver driver;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    long in = -1, out = -1;
    EXPECT_EQ(driver->getChannels(&in, &out), ASE_OK);
    EXPECT_EQ(in, 0);
    EXPECT_EQ(out, 4);
    ASIOSampleRate rate = 0;
    driver->getSampleRate(&rate);
    EXPECT_EQ(rate, 48000.0);  // 44100 is not offered: first supported rate
    EXPECT_EQ(PeerReadBlock(offsetof(AsioStatusBlock, supportedRates)), 0b1100u);
    EXPECT_EQ(driver->canSampleRate(88200.0), ASE_OK);
    EXPECT_EQ(driver->canSampleRate(44100.0), ASE_NotPresent);
}

TEST_F(DriverTest, SampleRateChangesAndHostileRates) {
    VELTRANO_SKIP_WITHOUT_CHILD_PROCESSES();
    HostDriver driver;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    EXPECT_EQ(driver->canSampleRate(384000.0), ASE_OK);
    for (double bad : {-1.0, 0.0, 44100.5e10, std::numeric_limits<double>::quiet_NaN(),
                       std::numeric_limits<double>::infinity(), 12345.0}) {
        EXPECT_EQ(driver->canSampleRate(bad), ASE_NotPresent) << bad;
        EXPECT_EQ(driver->setSampleRate(bad), ASE_NotPresent) << bad;
    }
    ASSERT_EQ(driver->setSampleRate(96000.0), ASE_OK);
    ASIOSampleRate rate = 0;
    driver->getSampleRate(&rate);
    EXPECT_EQ(rate, 96000.0);
    long min = 0, max = 0, preferred = 0, granularity = 0;
    driver->getBufferSize(&min, &max, &preferred, &granularity);
    EXPECT_EQ(min, 192);
    EXPECT_EQ(max, 57600);
    EXPECT_EQ(preferred, 960);
    EXPECT_EQ(granularity, 96);
    long in = 0, out = 0;
    driver->getLatencies(&in, &out);
    EXPECT_EQ(in, 960);
    EXPECT_EQ(PeerReadBlock(offsetof(AsioStatusBlock, sampleRate)), 96000u);
}

TEST_F(DriverTest, NativeDsdRatesOnAnEligibleDevice) {
    VELTRANO_SKIP_WITHOUT_CHILD_PROCESSES();
    HostDriver driver;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    const ASIOSampleType userType = ChannelInfo(driver.get(), 0, false).type;
    ASSERT_NE(userType, ASIOSTDSDInt8MSB1);
    struct Case {
        double rate;
        uint32_t carrier;
        long size, max;
    };
    for (const Case& c :
         {Case{2822400.0, 88200, 28224, 282240}, Case{5644800.0, 176400, 56448, 564480},
          Case{11289600.0, 352800, 112896, 1128960}}) {
        ASSERT_EQ(driver->canSampleRate(c.rate), ASE_OK);
        ASSERT_EQ(driver->setSampleRate(c.rate), ASE_OK);
        ASIOSampleRate rate = 0;
        EXPECT_EQ(driver->getSampleRate(&rate), ASE_OK);
        EXPECT_EQ(rate, c.rate);
        long min = 0, max = 0, preferred = 0, granularity = 0;
        driver->getBufferSize(&min, &max, &preferred, &granularity);
        EXPECT_EQ(min, c.size);
        EXPECT_EQ(max, c.max);
        EXPECT_EQ(preferred, c.size);
        EXPECT_EQ(granularity, c.size);
        EXPECT_EQ(ChannelInfo(driver.get(), 0, false).type, ASIOSTDSDInt8MSB1);
        EXPECT_EQ(PeerReadBlock(offsetof(AsioStatusBlock, sampleRate)), c.carrier);
        EXPECT_EQ(PeerReadBlock(offsetof(AsioStatusBlock, bitsPerSample)), 32u);
    }
    EXPECT_EQ(driver->canSampleRate(2822400.5), ASE_NotPresent);
    ASSERT_EQ(driver->setSampleRate(44100.0), ASE_OK);
    // Leaving DSD returns to the width init chose, not the 32-bit carrier's.
    EXPECT_EQ(ChannelInfo(driver.get(), 0, false).type, userType);
}

TEST_F(DriverTest, NativeDsdRefusedWithoutThirtyTwoBitsOrOwnership) {
    Script().widthMask = kWidth16Bit | kWidth24Bit;
    {
        HostDriver driver;
        ASSERT_EQ(driver->init(nullptr), ASIOTrue);
        EXPECT_EQ(driver->canSampleRate(2822400.0), ASE_NoClock);
        EXPECT_EQ(driver->setSampleRate(2822400.0), ASE_NoClock);
        ASIOSampleRate rate = 0;
        driver->getSampleRate(&rate);
        EXPECT_EQ(rate, 44100.0);
    }
    Script().widthMask = 0x0E;
    HostDriver first(kOtherClsid);
    HostDriver second(kDriverClsid);
    ASSERT_EQ(second->init(nullptr), ASIOTrue);
    EXPECT_EQ(second->setSampleRate(5644800.0), ASE_NoClock);
    ASSERT_EQ(first->init(nullptr), ASIOTrue);
    EXPECT_EQ(first->setSampleRate(5644800.0), ASE_OK);
}

TEST_F(DriverTest, FutureSelectors) {
    HostDriver driver;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    EXPECT_EQ(driver->future(kAsioEnableTimeCodeRead, nullptr), ASE_NotPresent);
    EXPECT_EQ(driver->future(kAsioDisableTimeCodeRead, nullptr), ASE_NotPresent);
    for (long selector = kAsioSetInputMonitor; selector <= kAsioGetOutputMeter; ++selector) {
        EXPECT_EQ(driver->future(selector, nullptr), ASE_NotPresent) << selector;
    }
    for (long selector = kAsioCanInputMonitor; selector <= kAsioCanOutputMeter; ++selector) {
        EXPECT_EQ(driver->future(selector, nullptr),
                  selector == kAsioCanTimeInfo ? ASE_SUCCESS : ASE_NotPresent)
            << selector;
    }
    EXPECT_EQ(driver->future(kAsioCanDoIoFormat, nullptr), ASE_SUCCESS);
    ASIOIoFormat format{};
    format.FormatType = kASIODSDFormat;
    EXPECT_EQ(driver->future(kAsioSetIoFormat, &format), ASE_SUCCESS);
    format.FormatType = 7;
    EXPECT_EQ(driver->future(kAsioGetIoFormat, &format), ASE_SUCCESS);
    EXPECT_EQ(format.FormatType, kASIODSDFormat);
    format.FormatType = 2;
    EXPECT_EQ(driver->future(kAsioSetIoFormat, &format), ASE_NotPresent);
    EXPECT_EQ(format.FormatType, kASIOFormatInvalid);
    EXPECT_EQ(driver->future(kAsioGetIoFormat, &format), ASE_SUCCESS);
    EXPECT_EQ(format.FormatType, kASIODSDFormat);  // the refused value was not stored
    for (long selector : {0L, 18L, static_cast<long>(kAsioOptionalOne),
                          static_cast<long>(kAsioCanReportOverload), -1L}) {
        EXPECT_EQ(driver->future(selector, &format), ASE_InvalidParameter) << selector;
    }
}

TEST_F(DriverTest, InitFailureLeavesTheObjectLoaded) {
    VELTRANO_SKIP_WITHOUT_CHILD_PROCESSES();
    Script().acquire = E_FAIL;
    {
        HostDriver driver;
        ASSERT_EQ(driver.created, S_OK);
        EXPECT_EQ(driver->init(nullptr), ASIOFalse);
        long in = 0, out = 0;
        EXPECT_EQ(driver->getChannels(&in, &out), ASE_NotPresent);
        EXPECT_EQ(PeerReadBlock(offsetof(AsioStatusBlock, state)), 1u);
    }
    EXPECT_FALSE(SettingsKeyExists());  // never initialized: nothing saved
}

TEST_F(DriverTest, SecondInitRereadsSettingsButNotWhileBuffersExist) {
    VELTRANO_SKIP_WITHOUT_CHILD_PROCESSES();
    HostDriver driver;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    // The control panel changes the buffer setting to 5 ms.
    ASSERT_TRUE(PeerWriteBlock(offsetof(AsioStatusBlock, bufferSizeSetting), 50));
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    long preferred = 0;
    driver->getBufferSize(nullptr, nullptr, &preferred, nullptr);
    EXPECT_EQ(preferred, 220);
    EXPECT_EQ(Log().IndexOf("Acquire"), 1);  // Discover, Acquire, ..., Acquire again

    ASIOBufferInfo infos[2] = {{ASIOFalse, 0, {}}, {ASIOTrue, 1, {}}};
    ASIOCallbacks callbacks{};
    ASSERT_EQ(driver->createBuffers(infos, 2, 256, &callbacks), ASE_OK);
    const size_t calls = Log().calls.size();
    ASSERT_TRUE(PeerWriteBlock(offsetof(AsioStatusBlock, bufferSizeSetting), 100));
    EXPECT_EQ(driver->init(nullptr), ASIOTrue);
    EXPECT_EQ(Log().calls.size(), calls);  // nothing rebuilt under the buffers
    EXPECT_EQ(ChannelInfo(driver.get(), 0, false).isActive, ASIOTrue);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
}

TEST_F(DriverTest, HostileBufferSettingsAreClampedToTheBufferTable) {
    struct Case {
        uint32_t setting;
        long preferred, latency;
    };
    for (const Case& c : {Case{0xFFFFFFFFu, 26460, 26400}, Case{100000u, 26460, 26400},
                          Case{1u, 88, 88}, Case{0u, 441, 440}}) {
        WriteSetting("BufferSize", c.setting);
        HostDriver driver;
        ASSERT_EQ(driver->init(nullptr), ASIOTrue);
        long min = 0, max = 0, preferred = 0, granularity = 0;
        driver->getBufferSize(&min, &max, &preferred, &granularity);
        EXPECT_EQ(preferred, c.preferred) << c.setting;
        EXPECT_GE(preferred, min);
        EXPECT_LE(preferred, max);
        long in = 0, out = 0;
        driver->getLatencies(&in, &out);
        EXPECT_EQ(in, c.latency) << c.setting;
        EXPECT_EQ(out, c.latency);
        ASSERT_TRUE(driver->setSampleRate(384000.0) == ASE_OK);
        driver->getBufferSize(&min, &max, &preferred, &granularity);
        EXPECT_GT(preferred, 0);
        EXPECT_LE(preferred, max);
        driver.Reset();
        DeleteSettings();
    }
}

}  // namespace
}  // namespace veltrano::test
