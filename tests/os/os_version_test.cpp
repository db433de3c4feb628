// The Windows version seam's virtual twin: the pretence reaches the
// classification exactly as the real calls' answers would, and without one
// the real answers pass through.

#include "platform/os_version.h"

#include <gtest/gtest.h>

#include <string>

#include "sim/os/os_pretend.h"
#include "support/peer_process.h"

namespace {

struct Pretence : ::testing::Test {
    void TearDown() override { sim::StopPretendingOs(); }
};

TEST_F(Pretence, ReachesBothCallsAndTheClassification) {
    veltrano::OsVersionFacts facts;
    ASSERT_TRUE(sim::ParseOsPretence("10.0.15063.1.9", &facts));
    sim::PretendOs(facts);

    OSVERSIONINFOEXA info{};
    info.dwOSVersionInfoSize = sizeof(info);
    ASSERT_TRUE(platform::GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&info)));
    EXPECT_EQ(info.dwMajorVersion, 10u);
    EXPECT_EQ(info.dwBuildNumber, 15063u);
    EXPECT_EQ(info.wProductType, 1);
    SYSTEM_INFO system{};
    platform::GetNativeSystemInfo(&system);
    EXPECT_EQ(system.wProcessorArchitecture, 9);

    veltrano::OsKind kind;
    ASSERT_TRUE(platform::ReadOsKind(veltrano::OsTable::CoInstaller, &kind));
    EXPECT_EQ(kind.kind, 10);
    EXPECT_EQ(kind.platformFlag, 0);
    EXPECT_TRUE(veltrano::IsWindows10Version1703OrLater(kind));
}

TEST_F(Pretence, ItaniumServer2003RowDiffersBetweenTheTables) {
    veltrano::OsVersionFacts facts;
    ASSERT_TRUE(sim::ParseOsPretence("5.2.3790.1.6", &facts));
    sim::PretendOs(facts);
    veltrano::OsKind cpl, setup;
    ASSERT_TRUE(platform::ReadOsKind(veltrano::OsTable::ControlPanel, &cpl));
    ASSERT_TRUE(platform::ReadOsKind(veltrano::OsTable::CoInstaller, &setup));
    EXPECT_EQ(cpl.kind, 1);
    EXPECT_EQ(setup.kind, 12);
}

TEST_F(Pretence, NonNtFailsAndSmallRequestsAreRefused) {
    veltrano::OsVersionFacts facts;
    ASSERT_TRUE(sim::ParseOsPretence("9x", &facts));
    sim::PretendOs(facts);
    veltrano::OsKind kind{4, 0, 1};
    EXPECT_FALSE(platform::ReadOsKind(veltrano::OsTable::ControlPanel, &kind));
    EXPECT_EQ(kind.kind, 12);

    OSVERSIONINFOA wrongSize{};
    wrongSize.dwOSVersionInfoSize = 20;
    EXPECT_FALSE(platform::GetVersionExA(&wrongSize));
}

TEST(OsPretenceText, MalformedTextIsRefused) {
    veltrano::OsVersionFacts facts;
    for (const char* bad : {"", "10", "10.0", "10.0.", "10.0.x", "10.0.1.4", "10.0.1.1.70000",
                            "10.0.1.1.9.", "-1.0.1", " 10.0.1"}) {
        EXPECT_FALSE(sim::ParseOsPretence(bad, &facts)) << bad;
    }
    ASSERT_TRUE(sim::ParseOsPretence("6.1.7601", &facts));
    EXPECT_EQ(facts.productType, 1);
    EXPECT_EQ(facts.processorArchitecture, 9);
}

TEST(OsVersionPassThrough, WithoutAPretenceTheRealWindowsIsClassified) {
    sim::StopPretendingOs();
    OSVERSIONINFOEXA seam{}, real{};
    seam.dwOSVersionInfoSize = real.dwOSVersionInfoSize = sizeof(seam);
    ASSERT_TRUE(platform::GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&seam)));
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ASSERT_TRUE(::GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&real)));
#pragma GCC diagnostic pop
    EXPECT_EQ(seam.dwMajorVersion, real.dwMajorVersion);
    EXPECT_EQ(seam.dwBuildNumber, real.dwBuildNumber);
    veltrano::OsKind kind;
    ASSERT_TRUE(platform::ReadOsKind(veltrano::OsTable::ControlPanel, &kind));
    EXPECT_EQ(kind.build, real.dwBuildNumber);
}

// Without the compatibility entries Windows 8.1 and later answer the version
// query with 6.2, and the panel would classify Windows 10 as Windows 8.
TEST(ControlPanelManifest, NamesEverySupportedWindowsAndAsksForAdministratorRights) {
    HMODULE panel = LoadLibraryExA(veltrano::test::WinePath(PANEL_EXE).c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(panel, nullptr) << PANEL_EXE;
    HRSRC resource = FindResourceA(panel, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(resource, nullptr);
    HGLOBAL loaded = LoadResource(panel, resource);
    ASSERT_NE(loaded, nullptr);
    const std::string manifest(static_cast<const char*>(LockResource(loaded)),
                               SizeofResource(panel, resource));
    for (const char* id :
         {"{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
          "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
          "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
        EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"") + id + "\"/>"), std::string::npos)
            << id;
    }
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"requireAdministrator\" "
                            "uiAccess=\"false\"/>"),
              std::string::npos);
    FreeLibrary(panel);
}

}  // namespace
