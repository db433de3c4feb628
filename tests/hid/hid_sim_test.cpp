// The virtual HID interface holds callers to the platform's rules, so the
// command code cannot pass by leaning on a lenient model.

#include <string>

#include "hid_fixture.h"
#include "platform/hid.h"
#include "platform/ks_device.h"
#include "platform/ks_setupdi.h"

namespace hidtest {
namespace {

std::vector<std::string> ListPaths(const GUID& category) {
    std::vector<std::string> paths;
    HDEVINFO set = platform::SetupDiGetClassDevsA(&category, nullptr, nullptr,
                                                  DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return paths;
    for (DWORD i = 0;; ++i) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!platform::SetupDiEnumDeviceInterfaces(set, nullptr, &category, i, &data)) break;
        char buffer[512] = {};
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer);
        detail->cbSize = sizeof *detail;
        if (platform::SetupDiGetDeviceInterfaceDetailA(set, &data, detail, sizeof buffer, nullptr,
                                                       nullptr)) {
            paths.emplace_back(detail->DevicePath);
        }
    }
    platform::SetupDiDestroyDeviceInfoList(set);
    return paths;
}

GUID HidClass() {
    GUID guid{};
    platform::HidD_GetHidGuid(&guid);
    return guid;
}

HANDLE Open(const std::string& path, DWORD access, DWORD share, DWORD flags = 0) {
    return platform::CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, flags,
                                 nullptr);
}

constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;

TEST_F(HidTest, TheHidClassListsOnlyPresentHidInterfacesBesideTheAudioCategories) {
    sim::HidConfig absent;
    absent.present = false;
    sim::Configure(WithHid({sim::HidConfig{}, absent, sim::HidConfig{}}));

    const std::vector<std::string> hid = ListPaths(HidClass());
    ASSERT_EQ(hid.size(), 2u);
    EXPECT_EQ(hid[0].rfind("\\\\?\\hid#vid_1209&pid_0001", 0), 0u) << hid[0];
    EXPECT_NE(hid[0], hid[1]);
    EXPECT_EQ(ListPaths(KSCATEGORY_AUDIO).size(), 3u);

    // A HID handle is no kernel-streaming filter, and a filter takes no reports.
    HANDLE h = Open(hid[0], kReadWrite, kShareAll);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    KSPROPERTY property{};
    DWORD returned = 0;
    EXPECT_FALSE(platform::DeviceIoControl(h, IOCTL_KS_PROPERTY, &property, sizeof property,
                                           nullptr, 0, &returned, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
    HANDLE filter = Open(ListPaths(KSCATEGORY_AUDIO)[0], kReadWrite, 0);
    ASSERT_NE(filter, INVALID_HANDLE_VALUE);
    HIDD_ATTRIBUTES attributes{};
    EXPECT_FALSE(platform::HidD_GetAttributes(filter, &attributes));
    EXPECT_TRUE(platform::CloseHandle(filter));
    EXPECT_TRUE(platform::CloseHandle(h));
    EXPECT_EQ(sim::OpenHandleCount(), 0u);
}

TEST_F(HidTest, AnInterfaceHeldWithoutSharingIsSkipped) {
    const std::string path = ListPaths(HidClass()).at(0);
    HANDLE exclusive = Open(path, kReadWrite, 0);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open(path, kReadWrite, kShareAll), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

    Send(veltrano::asio::DeviceCommand::kDsd64, true);
    EXPECT_TRUE(sim::HidReports(0).empty());
    EXPECT_EQ(sim::OpenHandleCount(), 1u);
    EXPECT_TRUE(platform::CloseHandle(exclusive));
}

TEST_F(HidTest, WritesMustBeWholeReportsOnAWritableHandleOfTheRightKind) {
    const std::string path = ListPaths(HidClass()).at(0);
    const Report report = Expected(0xF5, 0x32, 0x2E);
    DWORD written = 99;

    HANDLE readOnly = Open(path, GENERIC_READ, kShareAll);
    ASSERT_NE(readOnly, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(platform::WriteFile(readOnly, report.data(), 64, &written, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(written, 0u);
    platform::CloseHandle(readOnly);

    HANDLE sync = Open(path, kReadWrite, kShareAll);
    EXPECT_FALSE(platform::WriteFile(sync, report.data(), 32, &written, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
    EXPECT_TRUE(platform::WriteFile(sync, report.data(), 64, &written, nullptr));
    EXPECT_EQ(written, 64u);
    platform::CloseHandle(sync);
    // A closed handle is gone for good.
    EXPECT_FALSE(platform::WriteFile(sync, report.data(), 64, &written, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    HANDLE overlapped = Open(path, kReadWrite, kShareAll, FILE_FLAG_OVERLAPPED);
    EXPECT_FALSE(platform::WriteFile(overlapped, report.data(), 64, &written, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    platform::CloseHandle(overlapped);

    EXPECT_EQ(sim::HidReports(0), std::vector<Report>{report});
    EXPECT_EQ(sim::OpenHandleCount(), 0u);
}

TEST_F(HidTest, PreparsedDataIsCountedUntilFreedAndUnusableAfterwards) {
    HANDLE h = Open(ListPaths(HidClass()).at(0), kReadWrite, kShareAll);
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    ASSERT_TRUE(platform::HidD_GetPreparsedData(h, &preparsed));
    EXPECT_EQ(sim::OpenHandleCount(), 2u);
    HIDP_CAPS caps{};
    ASSERT_EQ(platform::HidP_GetCaps(preparsed, &caps), HIDP_STATUS_SUCCESS);
    EXPECT_EQ(caps.OutputReportByteLength, 64);
    EXPECT_EQ(caps.InputReportByteLength, 64);
    // It is no handle to close.
    EXPECT_FALSE(platform::CloseHandle(reinterpret_cast<HANDLE>(preparsed)));

    EXPECT_TRUE(platform::HidD_FreePreparsedData(preparsed));
    EXPECT_FALSE(platform::HidD_FreePreparsedData(preparsed));
    EXPECT_EQ(platform::HidP_GetCaps(preparsed, &caps), HIDP_STATUS_INVALID_PREPARSED_DATA);
    platform::CloseHandle(h);
    EXPECT_EQ(sim::OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace hidtest
