// The Windows version seam's virtual twin: the pretence reaches the
// classification exactly as the real calls' answers would, and without one
// the real answers pass through.

#include <gtest/gtest.h>

#include "platform/os_version.h"
#include "sim/os/os_pretend.h"

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

}  // namespace
