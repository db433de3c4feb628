#include "setup/system_steps.h"

#include "common/contract/registry_key.h"
#include "setup/setup_text.h"

namespace veltrano::setup {


const char kRestartQuestion[] =
    "If you want to complete the installation of this software package, "
    "you have to restart the system!\n"
    "Please click button \"Yes\" to restart the system right now.\n"
    "If you want to restart the system later yourself, please click button \"No\".\n\n"
    "(If you click button \"Yes\", system will be restarted in 60 seconds.)";

namespace {

void RunRegSvr32(SetupContext& context, std::string_view relativeDll) {
    std::string dll;
    if (!context.InPackage(relativeDll, &dll, "ASIO driver registration")) return;
    const auto parameters = RegSvr32Parameters(dll, context.uninstall);
    if (!parameters) {
        context.Fail("ASIO driver registration: path not safe for a command line: " + dll);
        return;
    }
    if (!context.Launch("RegSvr32.exe", *parameters)) {
        context.Fail("ASIO driver registration: RegSvr32.exe not started for " + dll);
    }
}

}  // namespace

void RegisterAsioDriver(SetupContext& context) {
    if (context.asioDllName.empty()) {
        context.Fail("ASIO driver registration: no DLL name");
        return;
    }
    RunRegSvr32(context, context.asioDllName);
    if (!context.Is32BitSystem()) RunRegSvr32(context, "x64\\" + context.asioDllName);
}

void UpdateAutorun(SetupContext& context) {
    if (context.autorunValueName.empty()) {
        context.Fail("autorun: no value name");
        return;
    }
    RegistryKey run = RegistryKey::Open(HKEY_LOCAL_MACHINE, kRunKey);
    if (!run) {
        context.Fail("autorun: Run key cannot be opened");
        return;
    }
    if (context.uninstall) {
        RegDeleteValueA(run.Get(), context.autorunValueName.c_str());
        return;
    }
    std::string program;
    if (!context.InPackage(context.controlPanelName, &program, "autorun")) return;
    // Quoted: Windows splits an unquoted Run command at its first space, so
    // "C:\Program Files\..." would first try to start C:\Program.exe.
    if (!IsQuotablePath(program)) {
        context.Fail("autorun: unsafe path " + program);
        return;
    }
    const std::string command = "\"" + program + "\"";
    if (RegSetValueExA(run.Get(), context.autorunValueName.c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(command.c_str()),
                       static_cast<DWORD>(command.size() + 1)) != ERROR_SUCCESS) {
        context.Fail("autorun: Run value not set");
    }
}

void OfferRestart(SetupContext& context) {
    const int answer =
        context.restart->AskQuestion(kRestartQuestion, kRestartCaption, MB_YESNO | MB_ICONQUESTION | MB_SYSTEMMODAL);
    // A box that could not be shown (no interactive desktop) answers 0:
    // that is nobody's consent to a restart.
    if (answer != IDYES) return;
    if (!context.restart->SetShutdownPrivilege(true)) return;
    context.restart->InitiateShutdown(kShutdownMessage, 60, false, true);
    context.restart->SetShutdownPrivilege(false);
}

}  // namespace veltrano::setup
