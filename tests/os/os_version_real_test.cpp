// The real Windows version seam answers what Windows answers, and the
// classification of that answer is the one the programs act on.

#include <gtest/gtest.h>

#include "platform/os_version.h"

namespace {

TEST(OsVersionReal, AnswersAsWindowsDoes) {
    OSVERSIONINFOEXA seam{}, windows{};
    seam.dwOSVersionInfoSize = windows.dwOSVersionInfoSize = sizeof(seam);
    ASSERT_TRUE(platform::GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&seam)));
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ASSERT_TRUE(::GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&windows)));
#pragma GCC diagnostic pop
    EXPECT_EQ(seam.dwMajorVersion, windows.dwMajorVersion);
    EXPECT_EQ(seam.dwMinorVersion, windows.dwMinorVersion);
    EXPECT_EQ(seam.dwBuildNumber, windows.dwBuildNumber);
    EXPECT_EQ(seam.wProductType, windows.wProductType);

    // The native architecture, also for a 32-bit program on 64-bit Windows.
    SYSTEM_INFO native{}, direct{};
    platform::GetNativeSystemInfo(&native);
    ::GetNativeSystemInfo(&direct);
    EXPECT_EQ(native.wProcessorArchitecture, direct.wProcessorArchitecture);

    veltrano::OsVersionFacts facts;
    facts.platformId = windows.dwPlatformId;
    facts.major = windows.dwMajorVersion;
    facts.minor = windows.dwMinorVersion;
    facts.build = windows.dwBuildNumber;
    facts.productType = windows.wProductType;
    facts.processorArchitecture = direct.wProcessorArchitecture;
    for (veltrano::OsTable table :
         {veltrano::OsTable::ControlPanel, veltrano::OsTable::CoInstaller}) {
        veltrano::OsKind expected, kind;
        ASSERT_TRUE(veltrano::ClassifyOs(facts, table, &expected));
        ASSERT_TRUE(platform::ReadOsKind(table, &kind));
        EXPECT_EQ(kind.kind, expected.kind);
        EXPECT_EQ(kind.platformFlag, expected.platformFlag);
        EXPECT_EQ(kind.build, expected.build);
    }
}

}  // namespace
