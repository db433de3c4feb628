#include <thread>

#include "hid_fixture.h"

namespace hidtest {
namespace {

using veltrano::asio::DeviceCommand;

TEST_F(HidTest, EveryCommandArrivesAsItsOwnReportOnAndOff) {
    const size_t handlesBefore = sim::OpenHandleCount();
    for (DeviceCommand c : {DeviceCommand::kDsd64, DeviceCommand::kDsd128, DeviceCommand::kDsd256,
                            DeviceCommand::kDop}) {
        Send(c, true);
        Send(c, false);
    }
    const std::vector<Report> expected = {
        Expected(0xF5, 0x32, 0x2E), Expected(0xF5, 0x32, 0x08),  // DSD64
        Expected(0xF6, 0x33, 0x2E), Expected(0xF6, 0x33, 0x08),  // DSD128
        Expected(0xF7, 0x34, 0x2E), Expected(0xF7, 0x34, 0x08),  // DSD256
        Expected(0xF8, 0x35, 0x01), Expected(0xF8, 0x35, 0x00),  // DSD over PCM
    };
    EXPECT_EQ(sim::HidReports(0), expected);
    // No handle and no preparsed data outlive a command.
    EXPECT_EQ(sim::OpenHandleCount(), handlesBefore);
}

TEST_F(HidTest, EachCommandOpensTheInterfaceSynchronouslyAndThenOverlappedAfresh) {
    Send(DeviceCommand::kDsd64, true);
    Send(DeviceCommand::kDsd64, false);
    const std::vector<DWORD> perCommand = {0, FILE_FLAG_OVERLAPPED};
    std::vector<DWORD> expected = perCommand;
    expected.insert(expected.end(), perCommand.begin(), perCommand.end());
    EXPECT_EQ(sim::HidOpenFlags(0), expected);
    EXPECT_EQ(sim::OpenHandleCount(), 0u);
}

TEST_F(HidTest, TheThreeOffCommandsOfABufferReleaseArriveInOrder) {
    for (DeviceCommand c :
         {DeviceCommand::kDsd64, DeviceCommand::kDsd128, DeviceCommand::kDsd256}) {
        Send(c, false);
    }
    const std::vector<Report> expected = {Expected(0xF5, 0x32, 0x08), Expected(0xF6, 0x33, 0x08),
                                          Expected(0xF7, 0x34, 0x08)};
    EXPECT_EQ(sim::HidReports(0), expected);
    EXPECT_EQ(sim::OpenHandleCount(), 0u);
}

TEST_F(HidTest, WithoutAHidInterfaceNothingIsOpenedOrWritten) {
    sim::HidConfig absent;
    absent.present = false;
    sim::Configure(WithHid({absent}));
    Send(DeviceCommand::kDsd128, true);
    Send(DeviceCommand::kDop, false);
    EXPECT_TRUE(sim::HidReports(0).empty());
    EXPECT_TRUE(sim::HidOpenFlags(0).empty());
    EXPECT_EQ(sim::OpenHandleCount(), 0u);
}

TEST_F(HidTest, InterfacesOfOtherDevicesAreSkippedAndTheMatchingOneUsed) {
    sim::HidConfig otherProduct;
    otherProduct.productId = static_cast<uint16_t>(Product() + 1);
    sim::HidConfig otherVendor;
    otherVendor.vendorId = static_cast<uint16_t>(Vendor() ^ 0x0F0F);
    sim::Configure(WithHid({otherProduct, otherVendor, sim::HidConfig{}, sim::HidConfig{}}));

    Send(DeviceCommand::kDsd256, true);

    EXPECT_TRUE(sim::HidReports(0).empty());
    EXPECT_TRUE(sim::HidReports(1).empty());
    EXPECT_EQ(sim::HidReports(2), std::vector<Report>{Expected(0xF7, 0x34, 0x2E)});
    // The first match ends the search.
    EXPECT_TRUE(sim::HidOpenFlags(3).empty());
    // The skipped interfaces were opened once each and closed again.
    EXPECT_EQ(sim::HidOpenFlags(0), std::vector<DWORD>{0});
    EXPECT_EQ(sim::HidOpenFlags(1), std::vector<DWORD>{0});
    EXPECT_EQ(sim::OpenHandleCount(), 0u);
}

TEST_F(HidTest, TheSearchLooksAtNoMoreThan256Interfaces) {
    sim::HidConfig other;
    other.productId = static_cast<uint16_t>(Product() + 1);
    for (size_t misses : {255u, 256u}) {
        SCOPED_TRACE(misses);
        std::vector<sim::HidConfig> hids(misses, other);
        hids.push_back(sim::HidConfig{});
        sim::Configure(WithHid(hids));
        Send(DeviceCommand::kDop, true);
        EXPECT_EQ(sim::HidReports(misses).size(), misses < 256 ? 1u : 0u);
        EXPECT_EQ(sim::OpenHandleCount(), 0u);
    }
}

TEST_F(HidTest, ReportLengthsThatCannotCarryTheCommandWriteNothing) {
    // 0: the device has no output report; 4: the argument would be cut off;
    // 65: longer than the report buffer, and the class driver takes whole
    // reports only, so cutting it to 64 could never be delivered.
    for (uint16_t length : {uint16_t{0}, uint16_t{4}, uint16_t{65}, uint16_t{1024}}) {
        SCOPED_TRACE(length);
        sim::HidConfig hid;
        hid.outputReportLength = length;
        sim::Configure(WithHid({hid}));
        Send(DeviceCommand::kDsd64, true);
        EXPECT_TRUE(sim::HidReports(0).empty());
        EXPECT_EQ(sim::HidOpenFlags(0).size(), 2u);  // found and opened, then closed
        EXPECT_EQ(sim::OpenHandleCount(), 0u);
    }
}

TEST_F(HidTest, AShorterOutputReportGetsTheLeadingBytes) {
    sim::HidConfig hid;
    hid.outputReportLength = 9;
    sim::Configure(WithHid({hid}));
    Send(DeviceCommand::kDsd128, false);
    EXPECT_EQ(sim::HidReports(0), std::vector<Report>{Expected(0xF6, 0x33, 0x08, 9)});
}

TEST_F(HidTest, FailedOpensAndWritesAreDroppedWithoutLeaks) {
    struct Case {
        const char* name;
        sim::Faults faults;
        size_t opens;
    };
    Case cases[3] = {{"open", {}, 0}, {"overlapped open", {}, 1}, {"write", {}, 2}};
    cases[0].faults.hidOpenError = ERROR_ACCESS_DENIED;
    cases[1].faults.hidOverlappedOpenError = ERROR_SHARING_VIOLATION;
    cases[2].faults.hidWriteError = ERROR_DEVICE_NOT_CONNECTED;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Config config = WithHid({sim::HidConfig{}});
        config.faults = c.faults;
        sim::Configure(config);
        Send(DeviceCommand::kDsd64, true);
        EXPECT_TRUE(sim::HidReports(0).empty());
        EXPECT_EQ(sim::HidOpenFlags(0).size(), c.opens);
        EXPECT_EQ(sim::OpenHandleCount(), 0u);
    }
}

// A HID interface that stops taking reports: the command gives up within a
// bound instead of holding the host's thread (disposeBuffers sends three).
TEST_F(HidTest, AStalledWriteIsAbandonedWithinItsBoundAndLeavesNoHandle) {
    sim::Config config = WithHid({sim::HidConfig{}});
    config.faults.hidWriteStallMs = 60000;
    sim::Configure(config);
    const DWORD begin = GetTickCount();
    Send(DeviceCommand::kDsd64, false);
    Send(DeviceCommand::kDsd128, false);
    const DWORD spent = GetTickCount() - begin;
    EXPECT_LT(spent, 5000u);
    EXPECT_TRUE(sim::HidReports(0).empty());
    EXPECT_EQ(sim::OpenHandleCount(), 0u);
    // The interface taking reports again gets the next command.
    sim::Configure(WithHid({sim::HidConfig{}}));
    Send(DeviceCommand::kDsd64, false);
    EXPECT_EQ(sim::HidReports(0), std::vector<Report>{Expected(0xF5, 0x32, 0x08)});
}

TEST_F(HidTest, CommandsFromTwoThreadsAtOnceAllArrive) {
    // The host's thread and the streaming thread send independently; each
    // command's handles share read and write, so neither locks the other out.
    constexpr int kPerThread = 40;
    auto sender = [](DeviceCommand c) {
        for (int i = 0; i < kPerThread; ++i) Send(c, (i & 1) == 0);
    };
    std::thread host(sender, DeviceCommand::kDsd64);
    std::thread streaming(sender, DeviceCommand::kDop);
    host.join();
    streaming.join();
    const std::vector<Report> reports = sim::HidReports(0);
    ASSERT_EQ(reports.size(), 2u * kPerThread);
    int dsd = 0;
    int dop = 0;
    for (const Report& r : reports) {
        ASSERT_EQ(r.size(), 64u);
        if (r[1] == 0xF5) ++dsd;
        if (r[1] == 0xF8) ++dop;
    }
    EXPECT_EQ(dsd, kPerThread);
    EXPECT_EQ(dop, kPerThread);
    EXPECT_EQ(sim::OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace hidtest
