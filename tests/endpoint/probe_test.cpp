// Finding the device's endpoints: which directions are present, which
// records are kept, and what is left held afterwards.

#include <cwchar>

#include "cpl/endpoint/endpoint_keys.h"
#include "endpoint/endpoint_fixture.h"

namespace veltrano::test {
namespace {

using cpl::kCapture;
using cpl::kRender;

sim::VirtualAudioConfig RenderOnly() {
    sim::VirtualAudioConfig config;
    config.capture.clear();
    return config;
}

// Virtual objects alive while the set's Player holds only its enumerator and
// the two collections of active endpoints.
long HeldByThePlayerAlone(cpl::AudioEndpointSet& set) {
    EXPECT_EQ(set.GetPlayer()->EnumerateEndpoints(kRender), S_OK);
    EXPECT_EQ(set.GetPlayer()->EnumerateEndpoints(kCapture), S_OK);
    sim::WaitForVirtualNotifications();
    return sim::LiveVirtualObjects();
}

TEST_F(EndpointTest, ProbeFindsPlaybackAndRecordWithTheirTopology) {
    auto set = MakeSet(10);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    EXPECT_EQ(playback, 1);
    EXPECT_EQ(record, 1);
    EXPECT_EQ(asio, 1);
    EXPECT_TRUE(set->Probed());
    EXPECT_EQ(set->VendorId(), FirstDevice().vendorId);
    ASSERT_EQ(set->RenderCount(), 1);
    ASSERT_EQ(set->CaptureCount(), 1);

    const cpl::EndpointRecord& speakers = *set->RenderRecord(0);
    EXPECT_STREQ(speakers.friendlyName, L"Speakers (Veltrano-HD)");
    EXPECT_STREQ(speakers.description, L"Speakers");
    EXPECT_NE(wcsstr(speakers.endpointId, L"render-0"), nullptr);
    EXPECT_EQ(speakers.physicalSpeakers, 3u);
    EXPECT_EQ(speakers.fullRangeSpeakers, 3u);
    EXPECT_EQ(speakers.deviceFormat.Format.nSamplesPerSec, 32000u);
    EXPECT_EQ(speakers.deviceFormat.Format.wBitsPerSample, 32);
    ASSERT_TRUE(speakers.volumeParts[0]);
    ASSERT_TRUE(speakers.muteParts[0]);
    EXPECT_FALSE(speakers.volumeParts[1]);
    EXPECT_EQ(speakers.channelCount[0], 2u);
    EXPECT_FLOAT_EQ(speakers.levels[0][1].minimumDb, -127.0f);
    EXPECT_FLOAT_EQ(speakers.levels[0][1].maximumDb, 0.0f);
    EXPECT_FLOAT_EQ(speakers.levels[0][1].stepDb, 0.5f);
    EXPECT_FLOAT_EQ(speakers.levels[0][1].currentDb, -20.0f);
    EXPECT_FLOAT_EQ(speakers.levels[0][1].savedDb, -20.0f);

    const cpl::EndpointRecord& line = *set->CaptureRecord(0);
    EXPECT_TRUE(IsEqualGUID(line.connectorSubtype, cpl::kNodeTypeLineConnector));
    EXPECT_TRUE(line.volumeParts[0]);
    EXPECT_TRUE(line.muteParts[0]);
    EXPECT_STREQ(line.description, L"Line In");

    // The first playback endpoint and the line input are watched.
    EXPECT_TRUE(set->GetPlayer()->VolumeCallbackRegistered(kRender));
    EXPECT_TRUE(set->GetPlayer()->VolumeCallbackRegistered(kCapture));
    EXPECT_EQ(sim::RegisteredVolumeCallbacks(), 2u);
    EXPECT_EQ(set->RenderRecord(1), nullptr);
}

TEST_F(EndpointTest, RenderOnlyDeviceHasPlaybackAndAsioButNoRecord) {
    Configure(RenderOnly());
    auto set = MakeSet(4);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    EXPECT_EQ(playback, 1);
    EXPECT_EQ(record, 0);
    EXPECT_EQ(asio, 1);
    EXPECT_EQ(set->CaptureCount(), 0);
    EXPECT_FALSE(set->GetPlayer()->VolumeCallbackRegistered(kCapture));
}

TEST_F(EndpointTest, CaptureOnlyDeviceHasNoAsio) {
    sim::VirtualAudioConfig config;
    config.render.clear();
    Configure(config);
    auto set = MakeSet(10);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    EXPECT_EQ(playback, 0);
    EXPECT_EQ(record, 1);
    EXPECT_EQ(asio, 0);
}

TEST_F(EndpointTest, AnotherDeviceOrNoDeviceFailsAndStaysUnprobed) {
    auto set = MakeSet(10);
    const SupportedDevice& device = FirstDevice();
    EXPECT_EQ(set->Probe(device.vendorId, static_cast<uint16_t>(device.productId + 0x100),
                         device.interfaceNumber, &playback, &record, &asio),
              E_FAIL);
    EXPECT_EQ(playback, 0);
    EXPECT_EQ(record, 0);
    EXPECT_EQ(asio, 0);
    EXPECT_FALSE(set->Probed());
    // The interface number is part of the pattern.
    EXPECT_EQ(
        set->Probe(device.vendorId, device.productId,
                   static_cast<uint8_t>(device.interfaceNumber + 1), &playback, &record, &asio),
        E_FAIL);

    sim::VirtualAudioConfig none;
    none.render.clear();
    none.capture.clear();
    Configure(none);
    auto empty = MakeSet(10);
    EXPECT_EQ(ProbeFirst(*empty), E_FAIL);
    EXPECT_FALSE(empty->Probed());
}

TEST_F(EndpointTest, ASecondProbeLeavesTheCallersFlagsAlone) {
    auto set = MakeSet(10);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    playback = record = asio = 7;
    EXPECT_EQ(ProbeFirst(*set), S_OK);
    EXPECT_EQ(playback, 7);
    EXPECT_EQ(record, 7);
    EXPECT_EQ(asio, 7);
    // After a reset it probes again.
    set->Reset();
    EXPECT_EQ(ProbeFirst(*set), S_OK);
    EXPECT_EQ(playback, 1);
}

TEST_F(EndpointTest, SystemsWithoutCoreAudioReportOnlyAsio) {
    for (int32_t kind : {0, 1, 12}) {
        auto set = MakeSet(kind);
        playback = record = asio = 5;
        ASSERT_EQ(ProbeFirst(*set), S_OK) << kind;
        EXPECT_EQ(playback, 0);
        EXPECT_EQ(record, 0);
        EXPECT_EQ(asio, 1);
        EXPECT_TRUE(set->Probed());
        EXPECT_EQ(set->GetPlayer()->EndpointCount(kRender), 0u);
        EXPECT_EQ(set->GetPlayer()->EndpointCount(kCapture), 0u);
        EXPECT_EQ(sim::RegisteredVolumeCallbacks(), 0u);
    }
}

TEST_F(EndpointTest, NullOutputsFail) {
    auto set = MakeSet(10);
    const SupportedDevice& d = FirstDevice();
    EXPECT_EQ(set->Probe(d.vendorId, d.productId, d.interfaceNumber, nullptr, &record, &asio),
              E_FAIL);
    EXPECT_EQ(set->Probe(d.vendorId, d.productId, d.interfaceNumber, &playback, &record, nullptr),
              E_FAIL);
    EXPECT_FALSE(set->Probed());
}

TEST_F(EndpointTest, LineInAndMicrophoneAreBothRecordedOnlyTheLineIsWatched) {
    sim::VirtualAudioConfig config;
    config.capture = {sim::MicrophoneEndpoint(), sim::CaptureEndpoint()};
    Configure(config);
    auto set = MakeSet(10);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    ASSERT_EQ(set->CaptureCount(), 2);
    const cpl::EndpointRecord& mic = *set->CaptureRecord(0);
    EXPECT_TRUE(IsEqualGUID(mic.connectorSubtype, cpl::kNodeTypeMicrophone));
    EXPECT_TRUE(mic.muteParts[0]);
    EXPECT_FALSE(mic.volumeParts[0]);
    EXPECT_EQ(mic.channelCount[0], 0u);
    const cpl::EndpointRecord& line = *set->CaptureRecord(1);
    EXPECT_EQ(line.endpointIndex, 1u);
    EXPECT_TRUE(line.volumeParts[0]);
    EXPECT_EQ(sim::RegisteredVolumeCallbacks(), 2u);
}

TEST_F(EndpointTest, ASecondLineInputReplacesTheFirstsRegistration) {
    sim::VirtualAudioConfig config;
    config.capture = {sim::CaptureEndpoint(), sim::CaptureEndpoint()};
    Configure(config);
    auto set = MakeSet(10);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    EXPECT_EQ(set->CaptureCount(), 2);
    // Render plus one line input: the first line input's registration was
    // removed, not leaked.
    EXPECT_EQ(sim::RegisteredVolumeCallbacks(), 2u);
    set->Reset();
    EXPECT_EQ(sim::RegisteredVolumeCallbacks(), 0u);
}

TEST_F(EndpointTest, MoreThanEightMatchingEndpointsKeepTheFirstEight) {
    sim::VirtualAudioConfig config;
    config.render.assign(11, sim::VirtualEndpointConfig{});
    config.capture.assign(9, sim::CaptureEndpoint());
    Configure(config);
    auto set = MakeSet(10);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    EXPECT_EQ(set->RenderCount(), cpl::kMaxEndpointRecords);
    EXPECT_EQ(set->CaptureCount(), cpl::kMaxEndpointRecords);
    EXPECT_EQ(set->RenderRecord(7)->endpointIndex, 7u);
    EXPECT_EQ(set->RenderRecord(8), nullptr);
    set.reset();
    sim::WaitForVirtualNotifications();
    EXPECT_EQ(sim::LiveVirtualObjects(), 0);
}

TEST_F(EndpointTest, APathThatIsNotTextOrCutShortMatchesNothing) {
    sim::VirtualAudioConfig config;
    config.render.assign(4, sim::VirtualEndpointConfig{});
    config.render[0].control.pathType = sim::PathValueType::Blob;
    config.render[1].control.pathType = sim::PathValueType::Number;
    config.render[2].pathUnreadable = true;
    // The identifiers beyond the 259 characters the match looks at.
    const SupportedDevice& d = FirstDevice();
    wchar_t ids[64];
    swprintf(ids, 64, L"VID_%04X&PID_%04X&MI_%02X", d.vendorId, d.productId, d.interfaceNumber);
    config.render[3].devicePath = L"{1}.USB\\" + std::wstring(300, L'x') + ids;
    config.capture.clear();
    Configure(config);
    auto set = MakeSet(10);
    EXPECT_EQ(ProbeFirst(*set), E_FAIL);
    EXPECT_EQ(set->RenderCount(), 0);

    // Lower-case identifiers still match.
    std::wstring lower = L"{1}.usb\\vid_";
    wchar_t rest[64];
    swprintf(rest, 64, L"%04x&pid_%04x&mi_%02x\\7&0", d.vendorId, d.productId, d.interfaceNumber);
    config.render.assign(1, sim::VirtualEndpointConfig{});
    config.render[0].devicePath = lower + rest;
    Configure(config);
    auto second = MakeSet(10);
    EXPECT_EQ(ProbeFirst(*second), S_OK);
}

struct WalkFault {
    const char* name;
    void (*apply)(sim::EndpointControlConfig&);
};

class WalkFailure : public EndpointTest, public ::testing::WithParamInterface<WalkFault> {};

// A broken topology drops that endpoint only; what the walk had acquired
// is released and the record is reused by the next endpoint.
TEST_P(WalkFailure, DropsTheEndpointAndReleasesWhatTheWalkHeld) {
    sim::VirtualAudioConfig config;
    config.render.assign(2, sim::VirtualEndpointConfig{});
    GetParam().apply(config.render[0].control);
    config.capture = {sim::CaptureEndpoint(), sim::CaptureEndpoint()};
    GetParam().apply(config.capture[0].control);
    Configure(config);
    auto set = MakeSet(10);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    ASSERT_EQ(set->RenderCount(), 1);
    EXPECT_EQ(set->RenderRecord(0)->endpointIndex, 1u);
    EXPECT_TRUE(set->RenderRecord(0)->volumeParts[0]);
    ASSERT_EQ(set->CaptureCount(), 1);
    EXPECT_EQ(set->CaptureRecord(0)->endpointIndex, 1u);
    set.reset();
    sim::WaitForVirtualNotifications();
    EXPECT_EQ(sim::LiveVirtualObjects(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, WalkFailure,
    ::testing::Values(
        WalkFault{"NoTopology",
                  [](sim::EndpointControlConfig& c) { c.topologyActivateResult = E_NOINTERFACE; }},
        WalkFault{"WrongDataFlow", [](sim::EndpointControlConfig& c) { c.wrongDataFlow = true; }},
        WalkFault{"Unconnected", [](sim::EndpointControlConfig& c) { c.unconnected = true; }},
        WalkFault{"EndsAfterOnePart", [](sim::EndpointControlConfig& c) { c.chainEndsAfter = 1; }},
        WalkFault{"EndsAfterTheVolumePart",
                  [](sim::EndpointControlConfig& c) { c.chainEndsAfter = 2; }},
        WalkFault{"EndsBeforeTheLastStep",
                  [](sim::EndpointControlConfig& c) { c.chainEndsAfter = 3; }}),
    [](const ::testing::TestParamInfo<WalkFault>& fault) { return std::string(fault.param.name); });

// A walk that breaks after it activated a volume or mute part keeps none of
// it: with the only endpoint dropped, what is alive is what the Player holds.
TEST_F(EndpointTest, AWalkFailingHalfwayKeepsNothingItAcquired) {
    for (bool render : {true, false}) {
        for (uint32_t endsAfter : {2u, 3u}) {
            sim::VirtualAudioConfig config;
            if (render) {
                config.capture.clear();
                config.render[0].control.chainEndsAfter = endsAfter;
            } else {
                config.render.clear();
                config.capture[0].control.chainEndsAfter = endsAfter;
            }
            Configure(config);
            auto set = MakeSet(10);
            const long baseline = HeldByThePlayerAlone(*set);
            EXPECT_EQ(ProbeFirst(*set), E_FAIL) << render << endsAfter;
            EXPECT_EQ(set->RenderCount() + set->CaptureCount(), 0);
            sim::WaitForVirtualNotifications();
            EXPECT_EQ(sim::LiveVirtualObjects(), baseline) << render << endsAfter;
            EXPECT_EQ(sim::RegisteredVolumeCallbacks(), 0u);
        }
    }
}

TEST_F(EndpointTest, ADirectionWhoseOnlyEndpointBreaksIsAbsent) {
    sim::VirtualAudioConfig config;
    config.render[0].control.chainEndsAfter = 2;
    Configure(config);
    auto set = MakeSet(10);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    EXPECT_EQ(playback, 0);
    EXPECT_EQ(asio, 0);
    EXPECT_EQ(record, 1);
    EXPECT_FALSE(set->GetPlayer()->VolumeCallbackRegistered(kRender));
}

TEST_F(EndpointTest, MissingPartsLeaveTheirSlotsEmpty) {
    sim::VirtualAudioConfig config;
    config.render[0].control.noVolumePart = true;
    config.capture[0].control.noMutePart = true;
    Configure(config);
    auto set = MakeSet(10);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    EXPECT_FALSE(set->RenderRecord(0)->volumeParts[0]);
    EXPECT_TRUE(set->RenderRecord(0)->muteParts[0]);
    EXPECT_TRUE(set->CaptureRecord(0)->volumeParts[0]);
    EXPECT_FALSE(set->CaptureRecord(0)->muteParts[0]);
}

TEST_F(EndpointTest, NothingIsHeldAfterResetAndRelease) {
    {
        auto set = MakeSet(10);
        const long baseline = HeldByThePlayerAlone(*set);
        ASSERT_EQ(ProbeFirst(*set), S_OK);
        float l, r, mx, mn, st;
        ASSERT_EQ(set->GetPlaybackVolume(&l, &r, &mx, &mn, &st), S_OK);
        ASSERT_EQ(set->SetPlaybackVolume(-30, -30), S_OK);
        ASSERT_EQ(set->SetRecordMute(0, TRUE), S_OK);
        ASSERT_EQ(set->ApplyPlaybackFormat(24, 96000), S_OK);
        EXPECT_GT(sim::RegisteredNotificationClients(), 0u);

        EXPECT_GT(sim::LiveVirtualObjects(), baseline);

        set->Reset();
        sim::WaitForVirtualNotifications();
        EXPECT_EQ(sim::RegisteredVolumeCallbacks(), 0u);
        EXPECT_EQ(set->RenderCount(), 0);
        EXPECT_FALSE(set->Probed());
        // Every part, endpoint volume and endpoint the records held is gone;
        // the Player keeps the enumerator and its collections until it goes,
        // and nobody but the set holds the Player any more.
        EXPECT_EQ(sim::LiveVirtualObjects(), baseline);
        EXPECT_EQ(set->GetPlayer()->AddRef(), 2u);
        EXPECT_EQ(set->GetPlayer()->Release(), 1u);
    }
    sim::WaitForVirtualNotifications();
    EXPECT_EQ(sim::LiveVirtualObjects(), 0);
    EXPECT_EQ(sim::RegisteredNotificationClients(), 0u);
}

TEST_F(EndpointTest, WithoutAnEnumeratorEveryDiscoveryFails) {
    sim::VirtualAudioConfig config;
    config.enumeratorResult = REGDB_E_CLASSNOTREG;
    Configure(config);
    auto set = MakeSet(10);
    EXPECT_FALSE(set->GetPlayer()->HasEnumerator());
    EXPECT_FALSE(set->GetPlayer()->EndpointCallbackRegistered());
    EXPECT_EQ(ProbeFirst(*set), E_FAIL);
}

TEST_F(EndpointTest, LowLevelHelpersRefuseBadDirectionsAndIndexes) {
    auto set = MakeSet(10);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    wchar_t text[cpl::kEndpointTextChars] = L"unchanged";
    EXPECT_EQ(set->ReadProperty(2, 0, cpl::kKeyFriendlyName, text, cpl::kEndpointTextChars),
              E_FAIL);
    EXPECT_STREQ(text, L"<Device not available>");
    wcscpy(text, L"unchanged");
    EXPECT_TRUE(FAILED(set->ReadEndpointId(kRender, 5, text)));
    EXPECT_STREQ(text, L"<Device not available>");
    EXPECT_EQ(set->ReadEndpointId(kRender, 0, text), S_OK);
    EXPECT_STREQ(text, set->RenderRecord(0)->endpointId);

    // A short text buffer is cut and terminated.
    wchar_t shortText[8];
    EXPECT_EQ(set->ReadProperty(kRender, 0, cpl::kKeyFriendlyName, shortText, 8), S_OK);
    EXPECT_STREQ(shortText, L"Speaker");

    WAVEFORMATEXTENSIBLE format{};
    EXPECT_EQ(set->WriteProperty(-1, 0, cpl::kKeyDeviceFormat, format), E_FAIL);
    uint32_t rate = 0;
    uint16_t bits = 0, channels = 0;
    uint32_t mask = 0;
    EXPECT_EQ(set->ReadRecordFormat(1, &rate, &bits, &channels, &mask), E_FAIL);
    EXPECT_EQ(set->ReadRecordFormat(-1, &rate, &bits, &channels, &mask), E_FAIL);
    EXPECT_EQ(set->ApplyRecordFormat(1, 24, 96000), E_FAIL);
    EXPECT_EQ(set->ReadPlaybackFormat(nullptr, &bits, &channels, &mask), E_FAIL);
}

}  // namespace
}  // namespace veltrano::test
