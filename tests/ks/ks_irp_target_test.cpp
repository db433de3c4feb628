#include "kslib/ks_irp_target.h"

#include "ks_fixture.h"
#include "platform/ks_device.h"

namespace kstest {
namespace {

using kslib::CKsIrpTarget;

KSPROPERTY NodesProperty() {
    KSPROPERTY property{};
    property.Set = KSPROPSETID_Topology;
    property.Id = KSPROPERTY_TOPOLOGY_NODES;
    property.Flags = KSPROPERTY_TYPE_GET;
    return property;
}

TEST_F(KsTest, SyncIoctlRefusesNullAndInvalidHandlesWithoutCallingTheSystem) {
    KSPROPERTY property = NodesProperty();
    ULONG returned = 123;
    for (HANDLE h : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE}) {
        SetLastError(0);
        EXPECT_EQ(CKsIrpTarget::SyncIoctl(h, IOCTL_KS_PROPERTY, &property, sizeof property, nullptr,
                                          0, &returned),
                  E_FAIL);
        EXPECT_EQ(returned, 0u);
        EXPECT_EQ(GetLastError(), 0u);  // nothing was asked of the platform
    }
    EXPECT_FALSE(CKsIrpTarget::IsValidHandle(nullptr));
    EXPECT_FALSE(CKsIrpTarget::IsValidHandle(INVALID_HANDLE_VALUE));
}

TEST_F(KsTest, ClosedOrMadeUpHandlesAreRefusedByTheDevice) {
    auto filter = OpenRenderFilter();
    HANDLE stale = filter->GetHandle();
    filter.reset();
    EXPECT_FALSE(sim::IsSimHandle(stale));
    KSPROPERTY property = NodesProperty();
    DWORD returned = 0;
    EXPECT_FALSE(sim::IsSimHandle(reinterpret_cast<HANDLE>(0x1234)));
    for (HANDLE h : {stale, reinterpret_cast<HANDLE>(0x5E000404)}) {
        EXPECT_EQ(CKsIrpTarget::SyncIoctl(h, IOCTL_KS_PROPERTY, &property, sizeof property, nullptr,
                                          0, nullptr),
                  E_FAIL);
        HANDLE copy = h;
        EXPECT_FALSE(CKsIrpTarget::SafeCloseHandle(copy));
        EXPECT_EQ(copy, INVALID_HANDLE_VALUE);
    }
    OVERLAPPED overlapped{};
    EXPECT_FALSE(platform::DeviceIoControl(stale, IOCTL_KS_PROPERTY, &property, sizeof property,
                                           nullptr, 0, &returned, &overlapped));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// Windows answers a size query with the ERROR_MORE_DATA warning and the
// size needed; an ERROR_INSUFFICIENT_BUFFER error carries no byte count, so
// there is nothing to size a buffer by and the query fails.
TEST_F(KsTest, PropertySizeQueriesTakeTheSizeOnlyFromTheWarning) {
    for (bool async : {false, true}) {
        SCOPED_TRACE(async);
        sim::Config config = sim::DefaultConfig();
        config.faults.asyncProperties = async;
        Use(config);
        auto filter = OpenRenderFilter();
        KSPROPERTY property = NodesProperty();
        ULONG needed = 0;
        EXPECT_EQ(CKsIrpTarget::SyncIoctl(filter->GetHandle(), IOCTL_KS_PROPERTY, &property,
                                          sizeof property, nullptr, 0, &needed),
                  S_OK);
        EXPECT_EQ(needed, sizeof(KSMULTIPLE_ITEM) + 3 * sizeof(GUID));

        // The same overflow with a buffer that is merely too small is a failure.
        BYTE small[8];
        ULONG returned = 99;
        EXPECT_EQ(CKsIrpTarget::SyncIoctl(filter->GetHandle(), IOCTL_KS_PROPERTY, &property,
                                          sizeof property, small, sizeof small, &returned),
                  E_FAIL);
        EXPECT_EQ(returned, 0u);

        ASSERT_EQ(filter->EnumerateNodes(), S_OK);
        ASSERT_EQ(filter->Nodes().Count(), 3u);
        ULONG id = 0;
        for (kslib::CKsNode* node : filter->Nodes()) {
            EXPECT_EQ(node->GetId(), id++);
            EXPECT_EQ(node->GetTag(), 0x454E4F4Eu);
        }
        EXPECT_EQ(filter->Nodes().Head()->GetType(), KSNODETYPE_VOLUME);
    }

    sim::Config config = sim::DefaultConfig();
    config.faults.sizeQueryError = ERROR_INSUFFICIENT_BUFFER;
    Use(config);
    const std::string path = sim::InterfacePath(0, KSCATEGORY_RENDER);
    HANDLE filter = platform::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(filter, INVALID_HANDLE_VALUE);
    KSPROPERTY property = NodesProperty();
    ULONG needed = 77;
    DWORD raw = 77;
    EXPECT_FALSE(platform::DeviceIoControl(filter, IOCTL_KS_PROPERTY, &property, sizeof property,
                                           nullptr, 0, &raw, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(raw, 0u);
    EXPECT_EQ(CKsIrpTarget::SyncIoctl(filter, IOCTL_KS_PROPERTY, &property, sizeof property,
                                      nullptr, 0, &needed),
              E_FAIL);
    EXPECT_EQ(needed, 0u);
    platform::CloseHandle(filter);
}

// A request that goes pending tells its outcome only through its
// completion: a pending failure is a failure.
TEST_F(KsTest, APendingRequestReportsItsCompletionStatusAndCount) {
    sim::Config config = sim::DefaultConfig();
    config.faults.asyncProperties = true;
    Use(config);
    auto filter = OpenRenderFilter();  // the whole descriptor read goes through the wait
    KSP_PIN request{};
    request.Property.Set = KSPROPSETID_Pin;
    request.Property.Id = KSPROPERTY_PIN_DATAFLOW;
    request.Property.Flags = KSPROPERTY_TYPE_GET;
    ULONG dataFlow = 0;
    ULONG returned = 77;
    EXPECT_EQ(CKsIrpTarget::SyncIoctl(filter->GetHandle(), IOCTL_KS_PROPERTY, &request,
                                      sizeof request, &dataFlow, sizeof dataFlow, &returned),
              S_OK);
    EXPECT_EQ(returned, sizeof dataFlow);
    EXPECT_EQ(dataFlow, static_cast<ULONG>(KSPIN_DATAFLOW_IN));

    config.faults.failPropertySet = KSPROPSETID_Topology;
    config.faults.failPropertyId = KSPROPERTY_TOPOLOGY_NODES;
    config.faults.failPropertyError = ERROR_DEVICE_REMOVED;
    sim::Configure(config);
    filter = OpenRenderFilter();
    KSPROPERTY property = NodesProperty();
    EXPECT_EQ(CKsIrpTarget::SyncIoctl(filter->GetHandle(), IOCTL_KS_PROPERTY, &property,
                                      sizeof property, nullptr, 0, &returned),
              E_FAIL);
    EXPECT_EQ(returned, 0u);
    EXPECT_NE(filter->EnumerateNodes(), S_OK);
}

TEST_F(KsTest, FailedRequestsAndUnknownSetsGiveEFail) {
    auto filter = OpenRenderFilter();
    KSPROPERTY property = NodesProperty();
    property.Set = KSPROPSETID_Connection;  // not a filter property set
    ULONG value = 0;
    EXPECT_EQ(CKsIrpTarget::SyncIoctl(filter->GetHandle(), IOCTL_KS_PROPERTY, &property,
                                      sizeof property, &value, sizeof value, nullptr),
              E_FAIL);
    // A size query of another request code is not a size query.
    EXPECT_EQ(CKsIrpTarget::SyncIoctl(filter->GetHandle(), IOCTL_KS_RESET_STATE, &property,
                                      sizeof property, nullptr, 0, nullptr),
              E_FAIL);
}

TEST_F(KsTest, LogTextsAppearOnlyAboveTheThreshold) {
    {
        LogCapture quiet(0);
        CKsIrpTarget::SyncIoctl(nullptr, IOCTL_KS_PROPERTY, nullptr, 0, nullptr, 0, nullptr);
        EXPECT_TRUE(LogCapture::Lines().empty());
    }
    LogCapture log(6);
    CKsIrpTarget::SyncIoctl(nullptr, IOCTL_KS_PROPERTY, nullptr, 0, nullptr, 0, nullptr);
    EXPECT_TRUE(log.Has("CKsIrpTarget::SyncIoctl() Enter"));
    EXPECT_TRUE(log.Has("CKsIrpTarget::SyncIoctl Invalid Handle"));
    EXPECT_TRUE(log.Has("CKsIrpTarget::SyncIoctl Leave, returning 0x80004005"));

    HRESULT hr = S_OK;
    kslib::CKsFilter missing("\\\\?\\usb#vid_1209&pid_0009&mi_01#x", "", &hr);
    EXPECT_EQ(missing.Instantiate(), E_FAIL);
    EXPECT_TRUE(log.Has("CKsFilter::Instantiate() Enter"));
    EXPECT_TRUE(log.Has("CKsFilter::Instantiate() Leave"));
    EXPECT_TRUE(
        log.Has("CKsFilter::Instantiate: CreateFile failed for device "
                "\\\\?\\usb#vid_1209&pid_0009&mi_01#x.  ErrorCode = 0x00000002"));

    // Level 1 keeps errors and drops traces.
    LogCapture errorsOnly(1);
    kslib::CKsFilter noLink(nullptr, "", &hr);
    EXPECT_EQ(hr, E_INVALIDARG);
    ASSERT_EQ(LogCapture::Lines().size(), 1u);
    EXPECT_EQ(LogCapture::Lines()[0], "pszSymbolicLink cannot be NULL");
}

TEST_F(KsTest, LongMessagesAreTruncatedTo259Characters) {
    LogCapture log(1);
    std::string path(400, 'x');
    HRESULT hr = S_OK;
    kslib::CKsFilter filter(path.c_str(), "", &hr);
    EXPECT_EQ(strlen(filter.GetSymbolicLink()), 259u);
    EXPECT_EQ(filter.Instantiate(), E_FAIL);
    ASSERT_EQ(LogCapture::Lines().size(), 1u);
    EXPECT_EQ(LogCapture::Lines()[0].size(), 259u);
}

}  // namespace
}  // namespace kstest
