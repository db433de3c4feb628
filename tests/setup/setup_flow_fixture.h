#pragma once
// A co-installer run in-process: the package key filled as a 32-bit setup
// program fills it, a package folder in the prefix, and recording seams.

#include <gtest/gtest.h>

#include <string>

#include "setup/pkg_setup_app.h"
#include "setup/setup_fixture.h"
#include "setup/system_steps.h"
#include "sim/setup/setup_sim.h"

namespace veltrano::test {

using setup::KeyView;

class SetupFlow : public ::testing::Test {
protected:
    void SetUp() override {
        folder = MakePackageFolder("R&D flow");
        ASSERT_TRUE(FileExists(folder));
        // As a 32-bit setup program writes it: into the Wow6432Node view.
        SetPackageString(KeyView::Twin, "InstallPath", folder);
        SetPackageString(KeyView::Twin, "AsioDllFileName", "VeltranoHDASIO.dll");
        SetPackageString(KeyView::Twin, "AsioWDllFileName", "VeltranoHDASIOW.dll");
        SetPackageString(KeyView::Twin, "AcplExecFileName", "VeltranoHDACPLUI.exe");
        SetPackageString(KeyView::Twin, "AutoRunRegKeyName", kRunValueName);
    }
    void TearDown() override { RemoveFolder(folder); }

    setup::CPkgSetupApp Run(DWORD flags, const std::string& commandLine = "") {
        SetPackageDword(KeyView::Twin, "CoInstallFlags", flags);
        setup::SetupSeams seams;
        seams.runner = &runner;
        seams.restart = &restart;
        seams.devices = &devices;
        seams.readOsKind = [this](OsKind* kind) { return ClassifyOs(facts, OsTable::CoInstaller, kind); };
        seams.payloads = {certificate, tool32, tool64};
        setup::CPkgSetupApp app(seams, commandLine);
        EXPECT_EQ(app.InitInstance(), FALSE);
        return app;
    }

    std::optional<std::string> RunValue() {
        return RegString(HKEY_LOCAL_MACHINE, setup::kRunKey, kRunValueName);
    }
    std::optional<DWORD> Status() { return PackageDword(KeyView::Twin, "CoInstallStatus"); }

    CleanSetupRegistry registry;
    sim::setup::RecordingCommandRunner runner;
    sim::setup::ScriptedRestartControl restart;
    sim::setup::VirtualDeviceTree devices;
    OsVersionFacts facts = Windows7(true);
    std::string folder;
    std::string certificate = std::string(498, 'C');
    std::string tool32 = "tool for x86";
    std::string tool64 = "tool for x64";
};

}  // namespace veltrano::test
