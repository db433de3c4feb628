#include "ks_fixture.h"

namespace kstest {
namespace {

using kslib::CKsAudPin;

// The creation request is the connection, then the data format, then the
// wave format. The connection holds a handle, so its size is the build's:
// 72 bytes in a 64-bit build, 64 in a 32-bit one.
constexpr size_t kConnectBytes = sizeof(void*) == 8 ? 72 : 64;
static_assert(sizeof(KSPIN_CONNECT) == kConnectBytes);
static_assert(sizeof(KSDATAFORMAT) == 64);
constexpr size_t kPcmRequestBytes = kConnectBytes + 64 + 18;         // 154 or 146
constexpr size_t kExtensibleRequestBytes = kConnectBytes + 64 + 40;  // 176 or 168

CKsAudPin* RenderPin(const kslib::CKsAudRenFilter& filter) {
    return static_cast<CKsAudPin*>(filter.RenderSinkPins().Head());
}

TEST_F(KsTest, PinDescriptorIsReadFromTheDevice) {
    auto filter = OpenRenderFilter();
    CKsAudPin* pin = RenderPin(*filter);
    ASSERT_NE(pin, nullptr);
    EXPECT_EQ(pin->GetDataFlow(), KSPIN_DATAFLOW_IN);
    EXPECT_EQ(pin->GetCommunication(), KSPIN_COMMUNICATION_SINK);
    EXPECT_EQ(pin->GetInstances().PossibleCount, 1u);
    EXPECT_EQ(pin->GetInstances().CurrentCount, 0u);
    EXPECT_EQ(pin->GetCategory(), KSCATEGORY_AUDIO);
    EXPECT_STREQ(pin->GetName(), L"Veltrano-HD Playback");
    ASSERT_EQ(pin->DataRanges().Count(), 3u);
    const KSDATARANGE_AUDIO* range = pin->DataRanges().Head();
    EXPECT_EQ(range->MaximumChannels, 2u);
    EXPECT_EQ(range->MinimumBitsPerSample, 16u);
    EXPECT_EQ(range->MaximumSampleFrequency, 384000u);
}

TEST_F(KsTest, TheInitialPinCreationRequestIsLaidOutField_by_field) {
    auto filter = OpenRenderFilter();
    CKsAudPin* pin = RenderPin(*filter);
    ASSERT_EQ(pin->GetPinConnectSize(), kPcmRequestBytes);
    const KSPIN_CONNECT* connect = pin->GetPinConnect();
    EXPECT_EQ(connect->Interface.Set, KSINTERFACESETID_Standard);
    EXPECT_EQ(connect->Interface.Id, 0u);
    EXPECT_EQ(connect->Medium.Set, KSMEDIUMSETID_Standard);
    EXPECT_EQ(connect->Medium.Id, 0u);
    EXPECT_EQ(connect->PinId, 0u);
    EXPECT_EQ(connect->PinToHandle, nullptr);
    EXPECT_EQ(connect->Priority.PriorityClass, static_cast<ULONG>(KSPRIORITY_NORMAL));
    EXPECT_EQ(connect->Priority.PrioritySubClass, 1u);
    const KSDATAFORMAT* format = pin->GetDataFormat();
    EXPECT_EQ(reinterpret_cast<const BYTE*>(format) - reinterpret_cast<const BYTE*>(connect),
              static_cast<ptrdiff_t>(kConnectBytes));
    EXPECT_EQ(format->FormatSize, 82u);
    EXPECT_EQ(format->MajorFormat, KSDATAFORMAT_TYPE_AUDIO);
    EXPECT_EQ(format->SubFormat, KSDATAFORMAT_SUBTYPE_PCM);
    EXPECT_EQ(format->Specifier, KSDATAFORMAT_SPECIFIER_WAVEFORMATEX);
}

TEST_F(KsTest, AnExtensibleFormatGrowsTheRequestBy22Bytes) {
    auto filter = OpenRenderFilter();
    CKsAudPin* pin = RenderPin(*filter);
    WAVEFORMATEXTENSIBLE ext = Extensible(2, 24, 96000);
    ASSERT_EQ(pin->SetFormat(&ext.Format), S_OK);
    EXPECT_EQ(pin->GetPinConnectSize(), kExtensibleRequestBytes);
    EXPECT_EQ(pin->GetDataFormat()->FormatSize, 104u);
    EXPECT_EQ(pin->GetDataFormat()->SampleSize, 6u);
    EXPECT_EQ(pin->GetPinConnect()->PinId, 0u);  // the old content moved along
    EXPECT_EQ(memcmp(pin->GetDataFormat() + 1, &ext, sizeof ext), 0);
    EXPECT_EQ(memcmp(pin->GetFormat(), &ext, sizeof ext), 0);

    // Back to plain PCM: the request shrinks again.
    WAVEFORMATEX pcm = Pcm(2, 16, 44100);
    pcm.cbSize = 22;  // ignored for WAVE_FORMAT_PCM
    ASSERT_EQ(pin->SetFormat(&pcm), S_OK);
    EXPECT_EQ(pin->GetPinConnectSize(), kPcmRequestBytes);
    EXPECT_EQ(pin->GetDataFormat()->FormatSize, 82u);
    EXPECT_EQ(pin->SetFormat(nullptr), E_FAIL);
}

TEST_F(KsTest, FormatSupportTestsOnlyTheSelectedParts) {
    auto filter = OpenRenderFilter();
    CKsAudPin* pin = RenderPin(*filter);
    WAVEFORMATEX odd = Pcm(8, 24, 12345);  // too many channels, rate off the ranges
    EXPECT_TRUE(pin->IsFormatSupported(&odd, kslib::KS_FORMAT_MATCH_BITS));
    EXPECT_FALSE(pin->IsFormatSupported(&odd, kslib::KS_FORMAT_MATCH_RATE));
    EXPECT_FALSE(pin->IsFormatSupported(&odd, kslib::KS_FORMAT_MATCH_CHANNELS));
    EXPECT_FALSE(pin->IsFormatSupported(&odd, kslib::KS_FORMAT_MATCH_ALL));
    WAVEFORMATEX good = Pcm(2, 32, 384000);
    EXPECT_TRUE(pin->IsFormatSupported(&good, kslib::KS_FORMAT_MATCH_ALL));
    good.wBitsPerSample = 20;
    EXPECT_FALSE(pin->IsFormatSupported(&good, kslib::KS_FORMAT_MATCH_BITS));
    WAVEFORMATEXTENSIBLE ext = Extensible(2, 24, 48000);
    EXPECT_TRUE(pin->IsFormatSupported(&ext.Format, kslib::KS_FORMAT_MATCH_ALL));
    ext.SubFormat = KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
    EXPECT_FALSE(pin->IsFormatSupported(&ext.Format, kslib::KS_FORMAT_MATCH_ALL));
}

TEST_F(KsTest, APinWhoseOnlyInterfaceIsLoopedIsNotAnAudioPin) {
    sim::Config config = sim::DefaultConfig();
    config.devices[0].pins[0].standardInterface = false;
    config.devices[0].pins[0].loopedInterface = true;
    config.devices[0].pins[2].standardMedium = false;
    Use(config);
    LogCapture log(1);
    HRESULT hrEnum = S_OK;
    auto filter = OpenRenderFilter(0, &hrEnum);
    EXPECT_EQ(hrEnum, E_FAIL);
    EXPECT_TRUE(filter->Pins().IsEmpty());
    EXPECT_TRUE(log.Has("No standard streaming interfaces on the pin"));
    EXPECT_TRUE(log.Has("No standard streaming mediums on the pin"));
}

TEST_F(KsTest, APinWithoutAudioRangesIsNotAnAudioPin) {
    sim::Config config = sim::DefaultConfig();
    for (sim::DataRangeConfig& range : config.devices[0].pins[0].ranges) {
        range.subFormat = KSDATAFORMAT_SUBTYPE_ANALOG;  // not a wave-format tag
    }
    config.devices[0].pins[2].ranges.clear();
    Use(config);
    LogCapture log(1);
    HRESULT hrEnum = S_OK;
    auto filter = OpenRenderFilter(0, &hrEnum);
    EXPECT_EQ(hrEnum, E_FAIL);
    EXPECT_TRUE(log.Has("No audio dataranges on the pin"));
}

TEST_F(KsTest, PinCreationChecksTheFormatAgainstTheDevice) {
    auto filter = OpenRenderFilter();
    CKsAudPin* pin = RenderPin(*filter);
    const HRESULT noMatch = HRESULT_FROM_WIN32(ERROR_NO_MATCH);

    WAVEFORMATEXTENSIBLE ext = Extensible(2, 24, 22050);  // rate not offered
    ASSERT_EQ(pin->SetFormat(&ext.Format), S_OK);
    EXPECT_EQ(pin->Instantiate(), noMatch);
    ext = Extensible(1, 24, 48000);  // the streaming interface is stereo
    ASSERT_EQ(pin->SetFormat(&ext.Format), S_OK);
    EXPECT_EQ(pin->Instantiate(), noMatch);
    ext = Extensible(2, 24, 48000);
    ext.Format.nAvgBytesPerSec = 1;  // inconsistent
    ASSERT_EQ(pin->SetFormat(&ext.Format), S_OK);
    EXPECT_EQ(pin->Instantiate(), HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(pin->Instantiate(TRUE), noMatch);  // no looped interface either

    ext = Extensible(2, 24, 48000);
    ASSERT_EQ(pin->SetFormat(&ext.Format), S_OK);
    ASSERT_EQ(pin->Instantiate(), S_OK);
    EXPECT_TRUE(sim::IsSimHandle(pin->GetHandle()));
    EXPECT_FALSE(pin->IsLooped());

    // One instance only.
    auto second = OpenRenderFilter();
    CKsAudPin* other = RenderPin(*second);
    ASSERT_EQ(other->SetFormat(&ext.Format), S_OK);
    EXPECT_EQ(other->Instantiate(), HRESULT_FROM_WIN32(ERROR_BUSY));
    pin->ClosePin();
    EXPECT_EQ(other->Instantiate(), S_OK);

    // Creating again replaces the open instance instead of leaking it.
    const size_t open = sim::OpenHandleCount();
    EXPECT_EQ(other->Instantiate(), S_OK);
    EXPECT_EQ(sim::OpenHandleCount(), open);
}

TEST_F(KsTest, AMissingKsCreatePinGivesFileNotFound) {
    sim::Config config = sim::DefaultConfig();
    config.faults.ksUserMissing = true;
    Use(config);
    auto filter = OpenRenderFilter();
    CKsAudPin* pin = RenderPin(*filter);
    WAVEFORMATEX wfx = Pcm(2, 16, 48000);
    ASSERT_EQ(pin->SetFormat(&wfx), S_OK);
    LogCapture log(1);
    EXPECT_EQ(pin->Instantiate(), static_cast<HRESULT>(0x80070002));
    EXPECT_TRUE(log.Has("Failed to instantiate pin. hr=0x80070002"));
    EXPECT_EQ(pin->GetHandle(), INVALID_HANDLE_VALUE);
}

TEST_F(KsTest, StatesMustBeWalkedInOrder) {
    auto filter = OpenRenderFilter();
    CKsAudPin* pin = RenderPin(*filter);
    WAVEFORMATEX wfx = Pcm(2, 16, 48000);
    ASSERT_EQ(pin->SetFormat(&wfx), S_OK);
    ASSERT_EQ(pin->Instantiate(), S_OK);
    LogCapture log(1);
    EXPECT_EQ(pin->SetState(KSSTATE_RUN), E_FAIL);
    EXPECT_TRUE(log.Has("Failed to Set Pin State"));
    EXPECT_EQ(pin->GetState(), KSSTATE_STOP);
    for (KSSTATE state : {KSSTATE_ACQUIRE, KSSTATE_PAUSE, KSSTATE_RUN}) {
        ASSERT_EQ(pin->SetState(state), S_OK);
        EXPECT_EQ(pin->GetState(), state);
    }
    EXPECT_EQ(pin->SetState(KSSTATE_STOP), E_FAIL);
    EXPECT_EQ(pin->Reset(), S_OK);
    ASSERT_EQ(pin->SetState(KSSTATE_PAUSE), S_OK);
    ASSERT_EQ(pin->SetState(KSSTATE_ACQUIRE), S_OK);
    pin->ClosePin();  // stops on the way out
    EXPECT_EQ(pin->GetHandle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(sim::StateHistory(0, 0),
              (std::vector<KSSTATE>{KSSTATE_ACQUIRE, KSSTATE_PAUSE, KSSTATE_RUN, KSSTATE_PAUSE,
                                    KSSTATE_ACQUIRE, KSSTATE_STOP}));
    EXPECT_EQ(pin->Reset(), E_FAIL);  // no handle any more
}

TEST_F(KsTest, AFailingStateChangeOrPinCreationIsReported) {
    sim::Config config = sim::DefaultConfig();
    config.faults.pinCreateError = ERROR_NOT_ENOUGH_MEMORY;
    Use(config);
    auto filter = OpenRenderFilter();
    CKsAudPin* pin = RenderPin(*filter);
    WAVEFORMATEX wfx = Pcm(2, 16, 48000);
    ASSERT_EQ(pin->SetFormat(&wfx), S_OK);
    EXPECT_EQ(pin->Instantiate(), HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY));

    config.faults = {};
    config.faults.failPropertySet = KSPROPSETID_Connection;
    config.faults.failPropertyId = KSPROPERTY_CONNECTION_STATE;
    Use(config);
    filter = OpenRenderFilter();
    pin = RenderPin(*filter);
    ASSERT_EQ(pin->SetFormat(&wfx), S_OK);
    ASSERT_EQ(pin->Instantiate(), S_OK);
    EXPECT_EQ(pin->SetState(KSSTATE_ACQUIRE), E_FAIL);
    EXPECT_EQ(pin->GetState(), KSSTATE_STOP);
}

TEST_F(KsTest, AStateChangeTheDeviceNeverAnswersIsCancelledAndFails) {
    sim::Config config = sim::DefaultConfig();
    config.faults.stallStateTo = KSSTATE_RUN;
    Use(config);
    auto filter = OpenRenderFilter();
    CKsAudPin* pin = RenderPin(*filter);
    WAVEFORMATEX wfx = Pcm(2, 16, 48000);
    ASSERT_EQ(pin->SetFormat(&wfx), S_OK);
    ASSERT_EQ(pin->Instantiate(), S_OK);
    ASSERT_EQ(pin->SetState(KSSTATE_ACQUIRE), S_OK);
    ASSERT_EQ(pin->SetState(KSSTATE_PAUSE), S_OK);
    EXPECT_EQ(pin->SetState(KSSTATE_RUN), HRESULT_FROM_WIN32(ERROR_TIMEOUT));
    EXPECT_EQ(pin->GetState(), KSSTATE_PAUSE);
    // The request was cancelled, not left behind: the pin still answers
    // and walks back down.
    EXPECT_EQ(pin->SetState(KSSTATE_ACQUIRE), S_OK);
    EXPECT_EQ(pin->SetState(KSSTATE_STOP), S_OK);
    EXPECT_EQ(sim::StateHistory(0, 0).back(), KSSTATE_STOP);
}

}  // namespace
}  // namespace kstest
