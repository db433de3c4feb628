#include "ks_fixture.h"
#include "kslib/ks_enum_filters.h"

namespace kstest {
namespace {

using kslib::CKsEnumFilters;
using kslib::CKsPin;

sim::DeviceConfig BridgeOnlyDevice() {
    sim::DeviceConfig device;
    device.pins = {sim::BridgePin(KSPIN_DATAFLOW_OUT), sim::BridgePin(KSPIN_DATAFLOW_IN)};
    return device;
}

TEST_F(KsTest, EnumerationFindsTheDeviceAtItsLowerCaseCompositePath) {
    CKsEnumFilters enumerator;
    ASSERT_EQ(enumerator.EnumFilters(&KSCATEGORY_AUDIO, &KSCATEGORY_RENDER), S_OK);
    ASSERT_EQ(enumerator.Filters().Count(), 1u);
    kslib::CKsFilter* filter = enumerator.Filters().Head();
    EXPECT_NE(strstr(filter->GetSymbolicLink(), "vid_1209&pid_0001&mi_01"), nullptr);
    EXPECT_STREQ(filter->GetSymbolicLink(), sim::InterfacePath(0, KSCATEGORY_AUDIO).c_str());
    EXPECT_STREQ(filter->GetFriendlyName(), "");
    EXPECT_EQ(filter->GetFilterType(), kslib::eFilterRender);
    EXPECT_TRUE(kslib::CKsIrpTarget::IsValidHandle(filter->GetHandle()));

    // Render sink 0 and capture sink 2 are audio pins; the bridges are not created.
    EXPECT_EQ(filter->Pins().Count(), 2u);
    ASSERT_EQ(filter->RenderSinkPins().Count(), 1u);
    ASSERT_EQ(filter->CaptureSinkPins().Count(), 1u);
    EXPECT_EQ(filter->RenderSinkPins().Head()->GetId(), 0u);
    EXPECT_EQ(filter->CaptureSinkPins().Head()->GetId(), 2u);
    EXPECT_TRUE(filter->BridgePins().IsEmpty());
    auto* render = static_cast<kslib::CKsAudPin*>(filter->RenderSinkPins().Head());
    auto* capture = static_cast<kslib::CKsAudPin*>(filter->CaptureSinkPins().Head());
    EXPECT_EQ(render->GetPinType(), kslib::ePinRender);
    EXPECT_EQ(capture->GetPinType(), kslib::ePinCapture);

    enumerator.DestroyLists();
    EXPECT_TRUE(enumerator.Filters().IsEmpty());
    EXPECT_EQ(sim::OpenHandleCount(), 0u);
}

TEST_F(KsTest, InterfacesWithoutAnEnabledRenderAliasAreNotListed) {
    for (sim::AliasState alias :
         {sim::AliasState::Absent, sim::AliasState::Disabled, sim::AliasState::Removed}) {
        sim::Config config = sim::DefaultConfig();
        config.devices[0].renderAlias = alias;
        Use(config);
        LogCapture log(5);
        CKsEnumFilters enumerator;
        EXPECT_EQ(enumerator.EnumFilters(&KSCATEGORY_AUDIO, &KSCATEGORY_RENDER), E_FAIL);
        EXPECT_TRUE(enumerator.Filters().IsEmpty());
        EXPECT_TRUE(log.Has(alias == sim::AliasState::Absent
                                ? "Failed to get requested DeviceInterfaceAlias"
                                : "DeviceInterfaceAlias disabled."));
    }
}

TEST_F(KsTest, TwoMatchingDevicesAreListedInEnumerationOrder) {
    sim::Config config = sim::DefaultConfig();
    config.devices.push_back(sim::RenderOnlyDevice());
    Use(config);
    CKsEnumFilters enumerator;
    ASSERT_EQ(enumerator.EnumFilters(&KSCATEGORY_AUDIO, &KSCATEGORY_RENDER), S_OK);
    ASSERT_EQ(enumerator.Filters().Count(), 2u);
    auto it = enumerator.Filters().begin();
    EXPECT_STREQ((*it)->GetSymbolicLink(), sim::InterfacePath(0, KSCATEGORY_AUDIO).c_str());
    ++it;
    EXPECT_STREQ((*it)->GetSymbolicLink(), sim::InterfacePath(1, KSCATEGORY_AUDIO).c_str());
    EXPECT_TRUE((*it)->CaptureSinkPins().IsEmpty());
}

TEST_F(KsTest, AFilterThatFailsIsDroppedAndTheOthersKept) {
    sim::Config config = sim::DefaultConfig();
    config.devices.insert(config.devices.begin(), BridgeOnlyDevice());
    Use(config);
    LogCapture log(1);
    CKsEnumFilters enumerator;
    ASSERT_EQ(enumerator.EnumFilters(&KSCATEGORY_AUDIO, &KSCATEGORY_RENDER), S_OK);
    ASSERT_EQ(enumerator.Filters().Count(), 1u);
    const std::string bridgePath = sim::InterfacePath(0, KSCATEGORY_AUDIO);
    EXPECT_TRUE(log.Has("Failed to create filter for " + bridgePath));
    EXPECT_TRUE(log.Has("No valid pins found on the filter"));
    EXPECT_EQ(enumerator.EnumFilters(nullptr, &KSCATEGORY_RENDER), E_FAIL);
    const GUID zero{};
    EXPECT_EQ(enumerator.EnumFilters(&zero, &KSCATEGORY_RENDER), E_FAIL);
}

TEST_F(KsTest, ABridgeOnlyFilterHasNoAudioPins) {
    sim::Config config;
    config.devices = {BridgeOnlyDevice()};
    Use(config);
    HRESULT hrEnum = S_OK;
    auto filter = OpenRenderFilter(0, &hrEnum);
    EXPECT_EQ(hrEnum, E_FAIL);
    EXPECT_TRUE(filter->Pins().IsEmpty());

    // The generic enumeration creates plain pins and lists bridges.
    HRESULT hr = S_OK;
    kslib::CKsFilter plain(sim::InterfacePath(0, KSCATEGORY_AUDIO).c_str(), "", &hr);
    ASSERT_EQ(plain.Instantiate(), S_OK);
    EXPECT_EQ(plain.EnumeratePins(), S_OK);
    EXPECT_EQ(plain.BridgePins().Count(), 2u);
    EXPECT_EQ(plain.GetFilterType(), kslib::eFilterPlain);
}

TEST_F(KsTest, CommunicationBothIsListedAsSinkAndSource) {
    sim::Config config = sim::DefaultConfig();
    config.devices[0].pins[0].communication = KSPIN_COMMUNICATION_BOTH;
    config.devices[0].pins[2].communication = KSPIN_COMMUNICATION_SOURCE;
    Use(config);
    auto filter = OpenRenderFilter();
    ASSERT_EQ(filter->RenderSinkPins().Count(), 1u);
    ASSERT_EQ(filter->RenderSourcePins().Count(), 1u);
    EXPECT_EQ(filter->RenderSinkPins().Head(), filter->RenderSourcePins().Head());
    EXPECT_EQ(filter->CaptureSourcePins().Count(), 1u);
    EXPECT_TRUE(filter->CaptureSinkPins().IsEmpty());
    // Neither is a sink with a single direction, so both are plain audio pins.
    auto* both = static_cast<kslib::CKsAudPin*>(filter->RenderSinkPins().Head());
    EXPECT_EQ(both->GetPinType(), kslib::ePinPlain);
    WAVEFORMATEX wfx = Pcm(2, 24, 48000);
    EXPECT_EQ(filter->FindViablePin(&wfx, kslib::KS_FORMAT_MATCH_ALL), both);
}

TEST_F(KsTest, FindViablePinWithoutSinkPinsOfItsDirectionFindsNothing) {
    sim::Config config;
    config.devices = {sim::DefaultDevice()};
    config.devices[0].pins[0].communication = KSPIN_COMMUNICATION_SOURCE;
    Use(config);
    auto renderFilter = OpenRenderFilter();
    WAVEFORMATEX wfx = Pcm(2, 16, 44100);
    EXPECT_EQ(renderFilter->FindViablePin(&wfx, kslib::KS_FORMAT_MATCH_BITS), nullptr);

    HRESULT hr = S_OK;
    kslib::CKsAudCapFilter capture(sim::InterfacePath(0, KSCATEGORY_AUDIO).c_str(), "", &hr);
    ASSERT_EQ(capture.Instantiate(), S_OK);
    ASSERT_EQ(capture.EnumeratePins(), S_OK);
    EXPECT_EQ(capture.GetFilterType(), kslib::eFilterCapture);
    ASSERT_NE(capture.FindViablePin(&wfx, kslib::KS_FORMAT_MATCH_BITS), nullptr);
    wfx.wBitsPerSample = 20;
    EXPECT_EQ(capture.FindViablePin(&wfx, kslib::KS_FORMAT_MATCH_BITS), nullptr);
}

TEST_F(KsTest, PinsWithFailingDescriptorPropertiesAreStillCreated) {
    sim::Config config = sim::DefaultConfig();
    config.faults.failPropertySet = KSPROPSETID_Pin;
    config.faults.failPropertyId = KSPROPERTY_PIN_NAME;
    Use(config);
    LogCapture log(4);
    auto filter = OpenRenderFilter();
    EXPECT_EQ(filter->Pins().Count(), 2u);
    EXPECT_TRUE(log.Has("Failed to retrieve pin property KSPROPERTY_PIN_NAME on PinID: 2"));
    EXPECT_EQ(filter->RenderSinkPins().Head()->GetName()[0], L'\0');

    config.faults.failPropertyId = KSPROPERTY_PIN_CTYPES;
    Use(config);
    HRESULT hrEnum = S_OK;
    auto none = OpenRenderFilter(0, &hrEnum);
    EXPECT_EQ(hrEnum, E_FAIL);
    EXPECT_TRUE(log.Has("Failed to retrieve count of pins in audio filter"));

    config.faults.failPropertySet = KSPROPSETID_Topology;
    config.faults.failPropertyId = KSPROPERTY_TOPOLOGY_NODES;
    Use(config);
    auto noNodes = OpenRenderFilter();
    EXPECT_EQ(noNodes->EnumerateNodes(), E_FAIL);
    EXPECT_TRUE(log.Has("Failed to get property KSPROPSETID_Topology.KSPROPERTY_TOPOLOGY_NODES"));
}

TEST_F(KsTest, FilterConstructionChecksItsArgumentsAndCutsLongNames) {
    HRESULT hr = S_OK;
    kslib::CKsFilter noName("path", nullptr, &hr);
    EXPECT_EQ(hr, E_INVALIDARG);
    EXPECT_STREQ(noName.GetSymbolicLink(), "");
    kslib::CKsAudRenFilter ok("path", "Veltrano-HD", &hr);
    EXPECT_EQ(hr, S_OK);
    EXPECT_STREQ(ok.GetFriendlyName(), "Veltrano-HD");
    EXPECT_EQ(ok.Instantiate(), E_FAIL);
    EXPECT_EQ(ok.GetHandle(), INVALID_HANDLE_VALUE);
}

}  // namespace
}  // namespace kstest
