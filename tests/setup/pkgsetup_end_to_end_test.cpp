// PkgSetup.exe as the package's setup program runs it, under Wine: the
// package key filled as a 32-bit installer fills it, RegSvr32 and CMD really
// started in the test's prefix, the outcome polled for since PkgSetup does
// not wait for them.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "setup/cert_store_support.h"
#include "setup/package_key.h"
#include "setup/setup_fixture.h"
#include "setup/system_steps.h"
#include "support/peer_process.h"

namespace veltrano::test {
namespace {

using setup::KeyView;

const std::string kPkgSetup = WinePath(VELTRANO_PKGSETUP);
const std::string kKsDll = WinePath(VELTRANO_KS_DLL);
const std::string kWasapiDll = WinePath(VELTRANO_WASAPI_DLL);
// The other architecture's build of the same tree, when it was built.
const std::string kOtherKsDll = WinePath(VELTRANO_OTHER_BUILD_DIR "/asio/ks/VeltranoHDASIO.dll");
const std::string kPublisherCertFile = WinePath(VELTRANO_SOURCE_DIR "/setup/res/publisher.der");
constexpr char kAsioKey[] = "Software\\ASIO\\Veltrano-HD";
constexpr unsigned kPollMs = 30000;

std::optional<std::string> AsioDriver(REGSAM view) { return RegString(HKEY_LOCAL_MACHINE, kAsioKey, "Driver", view); }

class PkgSetupEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        VELTRANO_SKIP_WITHOUT_CHILD_PROCESSES();
        if (ThirtyTwoBitUnderWow64()) {
            GTEST_SKIP() << "the 32-bit PkgSetup.exe is for 32-bit Windows (checked by ThirtyTwoBitBuildRefusesWow64)";
        }
        folder = MakePackageFolder("R&D e2e");
        CreateDirectoryA((folder + "x64").c_str(), nullptr);
        ASSERT_TRUE(CopyFileA(kKsDll.c_str(), (folder + "x64\\VeltranoHDASIO.dll").c_str(), FALSE)) << kKsDll;
        ASSERT_TRUE(CopyFileA(kWasapiDll.c_str(), (folder + "x64\\VeltranoHDASIOW.dll").c_str(), FALSE));
        otherBuildPresent = CopyFileA(kOtherKsDll.c_str(), (folder + "VeltranoHDASIO.dll").c_str(), FALSE);
        SetPackageString(KeyView::Twin, "InstallPath", folder);
        SetPackageString(KeyView::Twin, "AsioDllFileName", "VeltranoHDASIO.dll");
        SetPackageString(KeyView::Twin, "AsioWDllFileName", "VeltranoHDASIOW.dll");
        SetPackageString(KeyView::Twin, "AcplExecFileName", "VeltranoHDACPLUI.exe");
        SetPackageString(KeyView::Twin, "AutoRunRegKeyName", kRunValueName);
    }
    void TearDown() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\PkgSetup.exe");
        RemoveFolder(folder);
    }

    void RunPkgSetup(DWORD flags, const std::string& arguments) {
        SetPackageDword(KeyView::Twin, "CoInstallFlags", flags);
        RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, setup::kPackageKeyTwin, "CoInstallStatus");
        ASSERT_EQ(RunAndWait("\"" + kPkgSetup + "\" " + arguments, 120000), 0);
        EXPECT_EQ(PackageDword(KeyView::Twin, "CoInstallStatus").value_or(0), 80u);
    }

    std::optional<std::string> RunValue() { return RegString(HKEY_LOCAL_MACHINE, setup::kRunKey, kRunValueName); }

    CleanSetupRegistry registry;
    std::string folder;
    bool otherBuildPresent = false;
};

// On 64-bit Windows the 32-bit build would edit the redirected registry
// views and system folder: it must leave everything alone.
TEST(PkgSetupWow64, ThirtyTwoBitBuildRefusesWow64) {
    VELTRANO_SKIP_WITHOUT_CHILD_PROCESSES();
    if (!ThirtyTwoBitUnderWow64()) GTEST_SKIP() << "only a 32-bit build under 64-bit Windows is refused";
    CleanSetupRegistry registry;
    const std::string folder = MakePackageFolder("wow64");
    SetPackageString(KeyView::Twin, "InstallPath", folder);
    SetPackageDword(KeyView::Twin, "CoInstallFlags", 0x08);
    SetPackageString(KeyView::Twin, "AcplExecFileName", "VeltranoHDACPLUI.exe");
    SetPackageString(KeyView::Twin, "AutoRunRegKeyName", kRunValueName);
    EXPECT_EQ(RunAndWait("\"" + kPkgSetup + "\"", 60000), 0);
    EXPECT_FALSE(PackageDword(KeyView::Twin, "CoInstallStatus"));
    EXPECT_FALSE(RegString(HKEY_LOCAL_MACHINE, setup::kRunKey, kRunValueName));
    RemoveFolder(folder);
}

TEST_F(PkgSetupEndToEnd, RegistersTheKsDriverAndAutorunThenUninstallUndoesBoth) {
    RunPkgSetup(0x0C, "");
    const std::string x64Dll = folder + "x64\\VeltranoHDASIO.dll";
    EXPECT_TRUE(WaitFor([&] { return AsioDriver(KEY_WOW64_64KEY) == x64Dll; }, kPollMs))
        << AsioDriver(KEY_WOW64_64KEY).value_or("<none>");
    EXPECT_EQ(RunValue().value_or(""), "\"" + folder + "VeltranoHDACPLUI.exe\"");

    RunPkgSetup(0x0C, "/U");
    EXPECT_TRUE(WaitFor([&] { return !AsioDriver(KEY_WOW64_64KEY); }, kPollMs));
    EXPECT_FALSE(RunValue());
}

TEST_F(PkgSetupEndToEnd, RegistersForThirtyTwoBitHostsToo) {
    VELTRANO_SKIP_WITHOUT_CHILD_PROCESSES(true);
    if (!otherBuildPresent) {
        VELTRANO_SKIP_ONLY_WITHOUT_32BIT("no 32-bit build of the driver beside this one: " << kOtherKsDll);
    }
    if (RunAndWait("\"" + WinePath(VELTRANO_VELCERT_OTHER) + "\"", 30000) != 1) {
        VELTRANO_SKIP_ONLY_WITHOUT_32BIT("32-bit programs do not run in this Wine prefix");
    }
    RunPkgSetup(0x04, "");
    EXPECT_TRUE(WaitFor([&] { return AsioDriver(KEY_WOW64_32KEY) == folder + "VeltranoHDASIO.dll"; }, kPollMs))
        << AsioDriver(KEY_WOW64_32KEY).value_or("<none>");
    RunPkgSetup(0x04, "/U");
    EXPECT_TRUE(WaitFor([&] { return !AsioDriver(KEY_WOW64_32KEY); }, kPollMs));
}

TEST_F(PkgSetupEndToEnd, Windows10ReportedThroughTheManifestGetsTheWasapiDriver) {
    // Wine tells a program with a supportedOS manifest the version the
    // prefix is set to; without one it would say Windows 8.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\PkgSetup.exe", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win10"), 6);
    RegCloseKey(key);

    RunPkgSetup(0x0C, "");
    const std::string x64Dll = folder + "x64\\VeltranoHDASIOW.dll";
    EXPECT_TRUE(WaitFor([&] { return AsioDriver(KEY_WOW64_64KEY) == x64Dll; }, kPollMs))
        << AsioDriver(KEY_WOW64_64KEY).value_or("<none>");
    RunPkgSetup(0x0C, "/U");
    EXPECT_TRUE(WaitFor([&] { return !AsioDriver(KEY_WOW64_64KEY); }, kPollMs));
}

TEST_F(PkgSetupEndToEnd, CertificateGoesIntoBothStoresAndOutAgainWithItsFilesDeleted) {
    const std::string publisher = ReadBinaryFile(kPublisherCertFile).value_or("");
    ASSERT_EQ(publisher.size(), 498u);
    for (const char* store : {"Root", "TrustedPublisher"}) RemoveFromStore(store, publisher);
    const auto filesGone = [&] { return !FileExists(folder + "NewCert.cer") && !FileExists(folder + "CertMgr.EXE"); };

    RunPkgSetup(0x01, "");
    EXPECT_TRUE(WaitFor([&] { return StoreHoldsCertificate("Root", publisher); }, kPollMs));
    EXPECT_TRUE(WaitFor([&] { return StoreHoldsCertificate("TrustedPublisher", publisher); }, kPollMs));
    EXPECT_TRUE(WaitFor(filesGone, kPollMs));

    RunPkgSetup(0x01, "/U");
    EXPECT_TRUE(WaitFor([&] { return !StoreHoldsCertificate("Root", publisher); }, kPollMs));
    EXPECT_TRUE(WaitFor([&] { return !StoreHoldsCertificate("TrustedPublisher", publisher); }, kPollMs));
    EXPECT_TRUE(WaitFor(filesGone, kPollMs));
    for (const char* store : {"Root", "TrustedPublisher"}) RemoveFromStore(store, publisher);
}

}  // namespace
}  // namespace veltrano::test
