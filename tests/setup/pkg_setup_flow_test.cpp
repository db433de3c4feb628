// The co-installer's one pass, run in-process as each Windows kind, with
// the package key in the (Wine) registry and every launch, wait and restart
// request recorded instead of carried out.
#include <gtest/gtest.h>

#include <string>

#include "setup/certificate_step.h"
#include "setup/pkg_setup_app.h"
#include "setup/setup_flow_fixture.h"
#include "setup/system_steps.h"

namespace veltrano::test {
namespace {

using platform::setup::LaunchVerb;
using setup::KeyView;

TEST_F(SetupFlow, RegistersTheKsDriverForBothHostsAndAddsTheAutorunEntry) {
    const auto app = Run(0x0C);
    ASSERT_EQ(runner.launches.size(), 2u);
    EXPECT_EQ(runner.launches[0].verb, LaunchVerb::RunAs);
    EXPECT_EQ(runner.launches[0].file, "RegSvr32.exe");
    EXPECT_EQ(runner.launches[0].parameters, "\"" + folder + "VeltranoHDASIO.dll\" /s");
    EXPECT_EQ(runner.launches[1].parameters, "\"" + folder + "x64\\VeltranoHDASIO.dll\" /s");
    EXPECT_EQ(RunValue().value_or(""), "\"" + folder + "VeltranoHDACPLUI.exe\"");
    // Only the twin exists, so the status goes there.
    EXPECT_EQ(Status().value_or(0), 80u);
    EXPECT_TRUE(app.ReachedEnd());
    EXPECT_TRUE(app.Context().failures.empty());
    EXPECT_TRUE(restart.questions.empty());
}

TEST_F(SetupFlow, Windows10Version1703RegistersTheWasapiDriverAndNeedsItsName) {
    facts = Windows10(15063);
    Run(0x0C);
    ASSERT_EQ(runner.launches.size(), 2u);
    EXPECT_EQ(runner.launches[1].parameters, "\"" + folder + "x64\\VeltranoHDASIOW.dll\" /s");

    // Version 1607 still gets the kernel-streaming driver.
    runner.launches.clear();
    facts = Windows10(14393);
    Run(0x04);
    ASSERT_EQ(runner.launches.size(), 2u);
    EXPECT_EQ(runner.launches[0].parameters, "\"" + folder + "VeltranoHDASIO.dll\" /s");

    // Without the WASAPI driver's name in either view nothing at all happens.
    CleanSetupRegistry::Clean();
    SetPackageString(KeyView::Twin, "InstallPath", folder);
    SetPackageString(KeyView::Twin, "AsioDllFileName", "VeltranoHDASIO.dll");
    runner.launches.clear();
    facts = Windows10(15063, true);
    const auto app = Run(0x04);
    EXPECT_TRUE(runner.launches.empty());
    EXPECT_FALSE(Status());
    EXPECT_FALSE(app.ReachedEnd());
}

TEST_F(SetupFlow, OldWindowsOpensInsteadOfElevatingAndThirtyTwoBitSystemsRegisterOnce) {
    facts = WindowsXp();
    Run(0x04);
    ASSERT_EQ(runner.launches.size(), 1u);
    EXPECT_EQ(runner.launches[0].verb, LaunchVerb::Open);

    runner.launches.clear();
    facts = Windows7(false);
    Run(0x04);
    ASSERT_EQ(runner.launches.size(), 1u);
    EXPECT_EQ(runner.launches[0].verb, LaunchVerb::RunAs);
    EXPECT_EQ(runner.launches[0].parameters, "\"" + folder + "VeltranoHDASIO.dll\" /s");
}

TEST_F(SetupFlow, UnknownWindowsStartsNothingButStillReportsCompletion) {
    facts = Windows2000();
    const auto app = Run(0x04);
    EXPECT_TRUE(runner.launches.empty());
    // Major version 5 counts as a 32-bit system: one registration, failed.
    EXPECT_EQ(app.Context().failures.size(), 1u);
    EXPECT_EQ(Status().value_or(0), 80u);
}

TEST_F(SetupFlow, UninstallSwitchInAnyCaseUndoesRegistrationAutorunAndDriverFiles) {
    Run(0x0C);
    ASSERT_TRUE(RunValue());
    runner.launches.clear();
    for (const char* line : {"/u", "-x /UPDATE"}) {
        runner.launches.clear();
        SetPackageString(KeyView::Twin, "AutoRunRegKeyName", kRunValueName);
        Run(0x2C, line);
        EXPECT_FALSE(RunValue()) << line;
        ASSERT_GE(runner.launches.size(), 2u);
        EXPECT_EQ(runner.launches[0].parameters, "/u \"" + folder + "VeltranoHDASIO.dll\" /s");
        EXPECT_EQ(runner.launches[1].parameters, "/u \"" + folder + "x64\\VeltranoHDASIO.dll\" /s");
        // The driver-file clean-up runs in every uninstall: two patterns in
        // the driver folder; no driver file, since no install recorded one.
        ASSERT_EQ(runner.launches.size(), 4u);
        EXPECT_EQ(runner.launches[2].file, "CMD.exe");
        EXPECT_EQ(runner.launches[2].parameters, " /C del \"" + folder + "Driver\\*.pnf\"");
        EXPECT_EQ(runner.launches[3].parameters, " /C del \"" + folder + "Driver\\Inf*.*\"");
        // No restart question when uninstalling, even with bit 5.
        EXPECT_TRUE(restart.questions.empty());
        EXPECT_EQ(Status().value_or(0), 80u);
    }
}

TEST_F(SetupFlow, PathsCmdCouldMisreadNeverReachACommandLine) {
    for (const char* bad : {"C:\\Pkg\"&del x&\"\\", "C:\\%TEMP%\\", "C:\\Pk\x01g\\"}) {
        runner.launches.clear();
        SetPackageString(KeyView::Twin, "InstallPath", bad);
        const auto app = Run(0x04, "/U");
        // Registration fails (both DLLs) and so does every delete command in
        // the package folder; the system folder's deletes still run.
        for (const auto& launch : runner.launches) {
            EXPECT_EQ(launch.parameters.find(bad), std::string::npos) << launch.parameters;
            EXPECT_NE(launch.file, "RegSvr32.exe");
        }
        EXPECT_GE(app.Context().failures.size(), 4u) << bad;
    }
}

TEST_F(SetupFlow, AnInstallPathTooLongForThePlatformFailsTheStepInsteadOfBeingCut) {
    const std::string longFolder = "C:\\" + std::string(240, 'p') + "\\";  // 245 characters
    SetPackageString(KeyView::Twin, "InstallPath", longFolder);
    const auto app = Run(0x0C);
    // 245 + 18 characters for the DLL, more for "x64\" and the control
    // panel: every path is over 259 characters.
    for (const auto& launch : runner.launches) EXPECT_NE(launch.file, "RegSvr32.exe");
    EXPECT_FALSE(RunValue());
    EXPECT_EQ(app.Context().failures.size(), 3u);
    EXPECT_EQ(Status().value_or(0), 80u);

    // Bit 0 with a path the files cannot have: the run ends there.
    runner.launches.clear();
    CleanSetupRegistry::Clean();
    SetUp();
    SetPackageString(KeyView::Twin, "InstallPath", longFolder);
    const auto ended = Run(0x0D);
    EXPECT_TRUE(runner.launches.empty());
    EXPECT_FALSE(Status());
    EXPECT_FALSE(ended.ReachedEnd());
}

TEST_F(SetupFlow, CertificateAndToolAreWrittenUsedAndDeleted) {
    const auto app = Run(0x01);
    EXPECT_EQ(ReadWholeFile(folder + "NewCert.cer").value_or(""), certificate);
    EXPECT_EQ(ReadWholeFile(folder + "CertMgr.EXE").value_or(""), tool64);
    ASSERT_EQ(runner.launches.size(), 4u);
    const std::string cert = "\"" + folder + "NewCert.cer\"";
    EXPECT_EQ(runner.launches[0].file, folder + "CertMgr.EXE");
    EXPECT_EQ(runner.launches[0].parameters, "-add " + cert + " -s -r localmachine root");
    EXPECT_EQ(runner.launches[1].parameters, "-add " + cert + " -s -r localmachine trustedpublisher");
    EXPECT_EQ(runner.launches[2].parameters, " /C del \"" + folder + "CertMgr.EXE\"");
    EXPECT_EQ(runner.launches[3].parameters, " /C del \"" + folder + "NewCert.cer\"");
    EXPECT_EQ(runner.waits, (std::vector<DWORD>{2000, 2000, 2000, 2000}));
    // The files are deleted only after both tool runs ended.
    ASSERT_EQ(runner.waitsForStarted.size(), 1u);
    EXPECT_EQ(runner.waitsForStarted[0].launchesBefore, 2u);
    EXPECT_EQ(Status().value_or(0), 80u);

    // A 32-bit system gets the 32-bit tool; uninstall deletes the
    // certificate from both stores again.
    runner.launches.clear();
    facts = Windows7(false);
    Run(0x01, "/U");
    EXPECT_EQ(ReadWholeFile(folder + "CertMgr.EXE").value_or(""), tool32);
    ASSERT_GE(runner.launches.size(), 4u);
    EXPECT_EQ(runner.launches[0].parameters, "-del " + cert + " -s -r localmachine root");
    EXPECT_EQ(runner.launches[1].parameters, "-del " + cert + " -s -r localmachine trustedpublisher");
    EXPECT_EQ(runner.launches[runner.launches.size() - 2].parameters, " /C del \"" + folder + "CertMgr.EXE\"");
}

TEST_F(SetupFlow, ToolStillRunningIsReportedAndTheDeletesAreStillAsked) {
    runner.stillRunning = true;
    const auto app = Run(0x01);
    ASSERT_EQ(runner.launches.size(), 4u);
    EXPECT_EQ(runner.launches[3].parameters, " /C del \"" + folder + "NewCert.cer\"");
    ASSERT_EQ(app.Context().failures.size(), 1u);
    EXPECT_NE(app.Context().failures[0].find("has not ended"), std::string::npos);
    EXPECT_EQ(Status().value_or(0), 80u);
}

TEST_F(SetupFlow, CertificateStepEndsTheRunWhenFilesOrLaunchesFail) {
    // Files that cannot be created.
    SetPackageString(KeyView::Twin, "InstallPath", folder + "missing\\");
    auto app = Run(0x0D);
    EXPECT_TRUE(runner.launches.empty());
    EXPECT_FALSE(RunValue());
    EXPECT_FALSE(Status());

    // A tool that cannot be started.
    SetPackageString(KeyView::Twin, "InstallPath", folder);
    runner.failLaunches = true;
    app = Run(0x0D);
    EXPECT_EQ(runner.launches.size(), 1u);
    EXPECT_FALSE(RunValue());
    EXPECT_FALSE(Status());

    // An unknown Windows has no way to start it.
    runner.failLaunches = false;
    runner.launches.clear();
    facts = Windows2000();
    app = Run(0x0D);
    EXPECT_TRUE(runner.launches.empty());
    EXPECT_FALSE(Status());
}

TEST_F(SetupFlow, RestartOnlyOnAnExplicitYes) {
    for (int answer : {IDNO, 0, IDYES}) {
        restart = {};
        restart.answer = answer;
        const auto app = Run(0x20);
        ASSERT_EQ(restart.questions.size(), 1u);
        EXPECT_EQ(restart.questions[0].caption, "System restart required");
        EXPECT_EQ(restart.questions[0].text,
                  "If you want to complete the installation of this software package, you have to restart "
                  "the system!\nPlease click button \"Yes\" to restart the system right now.\nIf you want to "
                  "restart the system later yourself, please click button \"No\".\n\n(If you click button "
                  "\"Yes\", system will be restarted in 60 seconds.)");
        EXPECT_EQ(restart.questions[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_SYSTEMMODAL));
        EXPECT_EQ(Status().value_or(0), 80u);
        if (answer != IDYES) {
            EXPECT_TRUE(restart.shutdowns.empty()) << answer;
            EXPECT_TRUE(restart.privilegeChanges.empty()) << answer;
            continue;
        }
        ASSERT_EQ(restart.shutdowns.size(), 1u);
        EXPECT_EQ(restart.shutdowns[0].message, "System will be restarted in 60 seconds!");
        EXPECT_EQ(restart.shutdowns[0].timeoutSeconds, 60u);
        EXPECT_FALSE(restart.shutdowns[0].forceAppsClosed);
        EXPECT_TRUE(restart.shutdowns[0].reboot);
        EXPECT_EQ(restart.privilegeChanges, (std::vector<bool>{true, false}));
    }
    // A privilege that cannot be had: no shutdown request.
    restart = {};
    restart.answer = IDYES;
    restart.privilegeAvailable = false;
    Run(0x20);
    EXPECT_TRUE(restart.shutdowns.empty());
}

TEST_F(SetupFlow, PackageValuesComeFromEitherViewAndMissingOnesEndTheRun) {
    if (ThirtyTwoBitUnderWow64()) GTEST_SKIP() << "both views of the package key are one key to a 32-bit program here";
    // The main view wins; the twin fills what the main view lacks.
    SetPackageString(KeyView::Main, "InstallPath", folder + "main\\");
    SetPackageString(KeyView::Main, "AsioDllFileName", "Main.dll");
    Run(0x04);
    ASSERT_EQ(runner.launches.size(), 2u);
    EXPECT_EQ(runner.launches[0].parameters, "\"" + folder + "main\\Main.dll\" /s");
    // The status goes to the main view when it exists.
    EXPECT_EQ(PackageDword(KeyView::Main, "CoInstallStatus").value_or(0), 80u);

    // No flags anywhere, or no install path: nothing happens at all.
    CleanSetupRegistry::Clean();
    SetPackageString(KeyView::Twin, "InstallPath", folder);
    runner.launches.clear();
    setup::SetupSeams seams;
    seams.runner = &runner;
    seams.restart = &restart;
    seams.devices = &devices;
    seams.readOsKind = [this](OsKind* kind) { return ClassifyOs(facts, OsTable::CoInstaller, kind); };
    setup::CPkgSetupApp noFlags(seams, "");
    noFlags.InitInstance();
    EXPECT_FALSE(noFlags.ReachedEnd());
    EXPECT_FALSE(Status());

    CleanSetupRegistry::Clean();
    SetPackageDword(KeyView::Twin, "CoInstallFlags", 0x04);
    setup::CPkgSetupApp noPath(seams, "");
    noPath.InitInstance();
    EXPECT_FALSE(noPath.ReachedEnd());
    EXPECT_TRUE(runner.launches.empty());

    // The autorun bit needs the value name; missing everywhere ends the run.
    SetPackageString(KeyView::Twin, "InstallPath", folder);
    SetPackageString(KeyView::Twin, "AcplExecFileName", "VeltranoHDACPLUI.exe");
    const auto app = Run(0x08);
    EXPECT_FALSE(app.ReachedEnd());
    EXPECT_FALSE(RunValue());
}

}  // namespace
}  // namespace veltrano::test
