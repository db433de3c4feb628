#include "setup/pkg_setup_app.h"

#include <commctrl.h>

#include "common/device_table.h"
#include "setup/certificate_step.h"
#include "setup/driver_task.h"
#include "setup/package_key.h"
#include "setup/setup_text.h"
#include "setup/system_steps.h"

namespace veltrano::setup {

namespace {

// A file name the package key must give: from the main view, or, when the
// task needs it and the main view lacks it, from the twin. False when a
// needed name is missing from both.
bool ReadName(const char* value, bool needed, std::string* out) {
    if (auto name = ReadPackageString(KeyView::Main, value)) {
        *out = std::move(*name);
        return true;
    }
    out->clear();
    if (!needed) return true;
    auto twin = ReadPackageString(KeyView::Twin, value);
    if (!twin) return false;
    *out = std::move(*twin);
    return true;
}

}  // namespace

CPkgSetupApp::CPkgSetupApp(SetupSeams seams, std::string commandLine)
    : m_seams(std::move(seams)), m_commandLine(std::move(commandLine)) {
    m_context.runner = m_seams.runner;
    m_context.restart = m_seams.restart;
    m_context.devices = m_seams.devices;
    m_context.payloads = m_seams.payloads;
}

bool CPkgSetupApp::ReadPackage() {
    SetupContext& c = m_context;
    auto installPath = ReadPackageStringEither("InstallPath");
    if (!installPath || installPath->empty()) return false;
    c.installPath = std::move(*installPath);
    auto flags = ReadPackageDwordEither("CoInstallFlags");
    if (!flags) return false;
    c.flags = *flags & 0xff;

    if (!m_seams.readOsKind || !m_seams.readOsKind(&c.os)) return false;
    c.windows10v1703 = IsWindows10Version1703OrLater(c.os);
    c.driverEntries = BuildDriverLists(SupportedDeviceTable);

    const char* dllValue = c.windows10v1703 ? "AsioWDllFileName" : "AsioDllFileName";
    if (!ReadName(dllValue, (c.flags & kFlagAsioDriver) != 0, &c.asioDllName)) return false;
    if (!ReadName("AcplExecFileName", (c.flags & (kFlagAutorun | kFlagControlPanelName)) != 0,
                  &c.controlPanelName)) {
        return false;
    }
    if (!ReadName("AutoRunRegKeyName", (c.flags & kFlagAutorun) != 0, &c.autorunValueName)) return false;
    c.uninstall = HasUninstallSwitch(m_commandLine);
    return true;
}

void CPkgSetupApp::RunTasks() {
    SetupContext& c = m_context;
    if (c.flags & kFlagCertificate) {
        if (!c.uninstall) {
            if (!InstallCertificate(c)) return;
        } else {
            RemoveCertificate(c);
        }
    }
    if (c.flags & (kFlagDriverPackage | kFlagDriverPackage2)) RunDriverTask(c);
    if (c.flags & kFlagAsioDriver) RegisterAsioDriver(c);
    if (c.flags & kFlagAutorun) UpdateAutorun(c);

    if (c.uninstall) CleanUpDriverFiles(c);
    if (c.flags & kFlagCertificate) DeleteCertificateFiles(c);

    if (!c.uninstall && (c.flags & kFlagRestart)) OfferRestart(c);

    if (!WritePackageDword("CoInstallStatus", kCompletedStatus)) {
        c.Fail("status: CoInstallStatus not written");
        return;
    }
    m_reachedEnd = true;
}

BOOL CPkgSetupApp::InitInstance() {
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_WIN95_CLASSES | ICC_DATE_CLASSES | ICC_USEREX_CLASSES | ICC_COOL_CLASSES |
                                      ICC_INTERNET_CLASSES | ICC_PAGESCROLLER_CLASS | ICC_NATIVEFNTCTL_CLASS |
                                      ICC_STANDARD_CLASSES | ICC_LINK_CLASS};
    InitCommonControlsEx(&controls);
    if (ReadPackage()) RunTasks();
    return FALSE;
}

}  // namespace veltrano::setup
