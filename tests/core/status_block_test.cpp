// The status block as the control panel sees it: from a second process
// mapping the same name, plus an in-process party standing in for it.
#include "common/contract/status_block.h"

#include <cstring>
#include <memory>
#include <string>

#include "common/asio_status_block.h"
#include "core_fixture.h"

namespace veltrano::test {
namespace {

using StatusBlockTest = CoreTest;

uint32_t Field(size_t offset) {
    return PeerReadBlock(static_cast<uint32_t>(offset)).value_or(0xDEADBEEFu);
}

uint32_t FirstWord(const GUID& g) {
    uint32_t word = 0;
    std::memcpy(&word, &g, sizeof(word));
    return word;
}

TEST_F(StatusBlockTest, CreatorInitialisesAndOwnerPublishesLayout) {
    VELTRANO_SKIP_WITHOUT_CHILD_PROCESSES();
    HostDriver driver;
    ASSERT_EQ(driver.created, S_OK);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, magic)), kStatusBlockMagic);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, state)), 1u);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, ownerClsid)), FirstWord(kDriverClsid));
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, changed)), 1u);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, deviceName)), 0x746C6556u);      // "Velt"
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, deviceName) + 8), 0x0044482Du);  // "-HD\0"
    ASSERT_TRUE(PeerWriteBlock(offsetof(AsioStatusBlock, changed), 0));
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, state)), 2u);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, changed)), 1u);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, sampleRate)), 44100u);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, resetRequest)), 0u);
    driver.Reset();
    EXPECT_FALSE(PeerReadBlock(0).has_value());
}

TEST_F(StatusBlockTest, FirstClassIdentifierOwnsTheBlockUntilItEnds) {
    // The control panel keeps the block alive throughout.
    veltrano::StatusBlock panel;
    ASSERT_TRUE(panel.Open());
    auto first = std::make_unique<HostDriver>(kDriverClsid);
    auto second = std::make_unique<HostDriver>(kOtherClsid);
    ASSERT_EQ((*second)->init(nullptr), ASIOTrue);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, state)), 1u);  // the non-owner wrote nothing
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, ownerClsid)), FirstWord(kDriverClsid));
    second.reset();
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, ownerClsid)), FirstWord(kDriverClsid));
    ASSERT_EQ((*first)->init(nullptr), ASIOTrue);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, state)), 2u);
    first.reset();
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, state)), 0u);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, ownerClsid)), 0u);
    EXPECT_TRUE(panel.Unowned());
    // Freed, it goes to whoever is created next.
    HostDriver third(kOtherClsid);
    EXPECT_TRUE(panel.OwnedBy(kOtherClsid));
}

TEST_F(StatusBlockTest, ObjectsOfTheSameClassBothWrite) {
    auto first = std::make_unique<HostDriver>();
    HostDriver second;
    ASSERT_EQ((*first)->init(nullptr), ASIOTrue);
    ASSERT_EQ(second->init(nullptr), ASIOTrue);
    ASSERT_EQ(second->setSampleRate(48000.0), ASE_OK);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, sampleRate)), 48000u);
    first.reset();  // an owner by identity: it releases the block for both
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, state)), 0u);
}

TEST_F(StatusBlockTest, ExistingBlockKeepsItsContents) {
    veltrano::StatusBlock panel;
    ASSERT_TRUE(panel.Open());
    panel.Write(&AsioStatusBlock::bufferSizeSetting, 70);
    panel.Write(&AsioStatusBlock::bitsPerSampleSetting, 24);
    panel.Write(&AsioStatusBlock::settingsLoaded, 1);
    WriteSetting("BufferSize", 500);  // not read: the block already holds the settings
    {
        HostDriver driver;
        ASSERT_EQ(driver->init(nullptr), ASIOTrue);
        long preferred = 0;
        driver->getBufferSize(nullptr, nullptr, &preferred, nullptr);
        EXPECT_EQ(preferred, 308);  // 7 ms at 44100 Hz
        EXPECT_EQ(panel.Read(&AsioStatusBlock::bitsPerSample), 24u);
        EXPECT_EQ(panel.Read(&AsioStatusBlock::bufferSize), 70u);
    }
    EXPECT_EQ(ReadSetting("BufferSize"), 70u);
}

TEST_F(StatusBlockTest, BlockWithoutMagicIsTreatedAsAbsent) {
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        kStatusBlockSize, kStatusBlockName);
    ASSERT_NE(mapping, nullptr);
    auto* raw = static_cast<uint32_t*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    ASSERT_NE(raw, nullptr);
    for (uint32_t i = 0; i < kStatusBlockSize / 4; ++i) raw[i] = 0xA5A5A5A5u;
    {
        HostDriver driver;
        ASSERT_EQ(driver.created, S_OK);
        ASSERT_EQ(driver->init(nullptr), ASIOTrue);
        // Garbage settings are not used: the non-owner's 10 ms and widest width.
        long preferred = 0;
        driver->getBufferSize(nullptr, nullptr, &preferred, nullptr);
        EXPECT_EQ(preferred, 441);
        EXPECT_EQ(driver->canSampleRate(2822400.0), ASE_NoClock);
        ASSERT_EQ(driver->setSampleRate(48000.0), ASE_OK);
        driver->controlPanel();
    }
    for (uint32_t i = 0; i < kStatusBlockSize / 4; ++i) {
        ASSERT_EQ(raw[i], 0xA5A5A5A5u) << "word " << i;
    }
    EXPECT_FALSE(SettingsKeyExists() && ReadSetting("BufferSize").has_value());
    UnmapViewOfFile(raw);
    CloseHandle(mapping);
}

TEST_F(StatusBlockTest, DriverRunsWithoutABlockWhenTheNameIsTaken) {
    // Another kind of object holds the name: neither opening nor creating
    // the section can succeed.
    HANDLE squatter = CreateEventA(nullptr, TRUE, FALSE, kStatusBlockName);
    ASSERT_NE(squatter, nullptr);
    {
        HostDriver driver;
        ASSERT_EQ(driver.created, S_OK);
        ASSERT_EQ(driver->init(nullptr), ASIOTrue);
        long preferred = 0;
        EXPECT_EQ(driver->getBufferSize(nullptr, nullptr, &preferred, nullptr), ASE_OK);
        EXPECT_EQ(preferred, 441);
        EXPECT_EQ(driver->canSampleRate(2822400.0), ASE_NoClock);
        EXPECT_EQ(driver->setSampleRate(48000.0), ASE_OK);
        EXPECT_EQ(driver->controlPanel(), ASE_OK);
    }
    CloseHandle(squatter);
    EXPECT_EQ(ReadSetting("SampleRate"), 48000u);
    EXPECT_FALSE(ReadSetting("BufferSize").has_value());  // the block settings had no home
}

TEST_F(StatusBlockTest, NativeDsdBufferFieldsAndTheirReset) {
    HostDriver driver;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASSERT_EQ(driver->setSampleRate(2822400.0), ASE_OK);
    ASIOChannelInfo info{};
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    ASIOBufferInfo infos[2] = {{ASIOFalse, 0, {}}, {ASIOFalse, 1, {}}};
    ASIOCallbacks callbacks{};
    ASSERT_EQ(driver->createBuffers(infos, 2, 28224, &callbacks), ASE_OK);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, state)), 3u);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, bufferSize)), 882u);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, sampleRate)), 88200u);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, bitsPerSample)), 32u);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, dsdActive)), 1u);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, dsd128)), 0u);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, dsd256)), 0u);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, nativeDsd)), 1u);
    ASSERT_EQ(driver->disposeBuffers(), ASE_OK);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, state)), 2u);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, dsdActive)), 0u);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, nativeDsd)), 0u);

    ASSERT_EQ(driver->setSampleRate(11289600.0), ASE_OK);
    ASSERT_EQ(driver->createBuffers(infos, 2, 112896, &callbacks), ASE_OK);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, dsd256)), 1u);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, dsd128)), 0u);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, bufferSize)), 3528u);
}

// The streaming-side rows, driven as the engine will drive them.
TEST_F(StatusBlockTest, DopDetectionAndResetRequestRows) {
    VELTRANO_SKIP_WITHOUT_CHILD_PROCESSES();
    veltrano::StatusBlock engine;
    ASSERT_TRUE(engine.Open());
    engine.Claim(kDriverClsid, 4);
    engine.Write(&AsioStatusBlock::sampleRate, 352800);
    engine.Write(&AsioStatusBlock::changed, 0);
    engine.PublishDop(kDriverClsid, true);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, dsdActive)), 1u);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, dsd128)), 1u);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, changed)), 1u);
    ASSERT_TRUE(PeerWriteBlock(offsetof(AsioStatusBlock, changed), 0));
    engine.PublishDop(kDriverClsid, true);  // no change, no refresh
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, changed)), 0u);
    engine.PublishDop(kOtherClsid, false);  // not the owner
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, dsdActive)), 1u);
    engine.PublishDop(kDriverClsid, false);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, dsdActive)), 0u);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, dsd128)), 0u);

    EXPECT_FALSE(engine.TakeResetRequest(kDriverClsid));
    ASSERT_TRUE(PeerWriteBlock(offsetof(AsioStatusBlock, resetRequest), 1));
    EXPECT_FALSE(engine.TakeResetRequest(kOtherClsid));
    EXPECT_TRUE(engine.TakeResetRequest(kDriverClsid));
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, resetRequest)), 0u);
    EXPECT_FALSE(engine.TakeResetRequest(kDriverClsid));
}

TEST_F(StatusBlockTest, ClaimRecordsTheBackEndsStateAndLongNamesAreCut) {
    Script().claimState = 0;
    Script().deviceName = std::string(300, 'N');
    HostDriver driver;
    ASSERT_EQ(driver.created, S_OK);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, state)), 0u);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, deviceName) + 252), 0x004E4E4Eu);  // "NNN\0"
    char name[40];
    std::memset(name, 'x', sizeof(name));
    driver->getDriverName(name);
    EXPECT_EQ(std::strlen(name), 31u);
    EXPECT_EQ(name[32], 'x');
}

// A window with the panel's title stands in for the running control panel.
TEST_F(StatusBlockTest, ControlPanelAsksTheRunningPanelToShowItself) {
    VELTRANO_SKIP_WITHOUT_CHILD_PROCESSES();
    HostDriver driver;
    ASSERT_EQ(driver.created, S_OK);
    ASSERT_TRUE(PeerWriteBlock(offsetof(AsioStatusBlock, changed), 0));
    EXPECT_EQ(driver->controlPanel(), ASE_OK);  // no window, no "ASIOCPL": nothing
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, showPanelRequest)), 0u);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, changed)), 0u);

    HWND window = CreateWindowExA(0, "STATIC", "Veltrano-HD Audio Control Panel", WS_POPUP, 0, 0,
                                  10, 10, nullptr, nullptr, nullptr, nullptr);
    if (window == nullptr) GTEST_SKIP() << "no display for a window";
    EXPECT_EQ(driver->controlPanel(), ASE_OK);
    DestroyWindow(window);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, showPanelRequest)), 1u);
    EXPECT_EQ(Field(offsetof(AsioStatusBlock, changed)), 1u);
}

}  // namespace
}  // namespace veltrano::test
