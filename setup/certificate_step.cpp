#include "setup/certificate_step.h"

#include "common/win_owners.h"
#include "setup/setup_text.h"

namespace veltrano::setup {

namespace {

bool WriteWholeFile(const std::string& path, std::string_view bytes) {
    if (bytes.empty()) return false;
    UniqueHandle file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    // The close is where a full disk may show, so its result counts: the file
    // is taken from the owner and closed here.
    const bool closed = CloseHandle(file.release()) != FALSE;
    if (!ok || !closed) {
        DeleteFileA(path.c_str());
        return false;
    }
    return true;
}

struct CertFiles {
    std::string certificate;
    std::string tool;
};

// Writes the certificate and the tool for this system's processor, with
// the fixed wait after each.
bool WriteCertFiles(SetupContext& context, CertFiles* files, const char* step) {
    if (!context.InPackage(kCertificateFile, &files->certificate, step) ||
        !context.InPackage(kCertToolFile, &files->tool, step)) {
        return false;
    }
    if (!WriteWholeFile(files->certificate, context.payloads.certificate)) {
        context.Fail(std::string(step) + ": cannot write " + files->certificate);
        return false;
    }
    context.runner->Wait(kCertificateStepWaitMs);
    const std::string_view tool =
        context.Is32BitSystem() ? context.payloads.certTool32 : context.payloads.certTool64;
    if (!WriteWholeFile(files->tool, tool)) {
        context.Fail(std::string(step) + ": cannot write " + files->tool);
        return false;
    }
    context.runner->Wait(kCertificateStepWaitMs);
    return true;
}

bool RunTool(SetupContext& context, const CertFiles& files, bool add, const char* step) {
    for (CertStore store : {CertStore::Root, CertStore::TrustedPublisher}) {
        const auto parameters = CertToolParameters(add, files.certificate, store);
        if (!parameters) {
            context.Fail(std::string(step) + ": path not safe for a command line: " + files.certificate);
            return false;
        }
        if (!context.Launch(files.tool, *parameters)) {
            context.Fail(std::string(step) + ": certificate tool not started");
            return false;
        }
        context.runner->Wait(kCertificateStepWaitMs);
    }
    return true;
}

}  // namespace

bool InstallCertificate(SetupContext& context) {
    CertFiles files;
    if (!WriteCertFiles(context, &files, "certificate")) return false;
    return RunTool(context, files, true, "certificate");
}

void RemoveCertificate(SetupContext& context) {
    CertFiles files;
    if (!WriteCertFiles(context, &files, "certificate removal")) return;
    RunTool(context, files, false, "certificate removal");
}

void DeleteCertificateFiles(SetupContext& context) {
    if (!context.runner->WaitForStarted(kCertToolFinishWaitMs)) {
        context.Fail("clean-up: the certificate tool has not ended; its files may stay");
    }
    std::string path;
    if (context.InPackage(kCertToolFile, &path, "clean-up")) context.DeleteWithCmd(path);
    if (context.InPackage(kCertificateFile, &path, "clean-up")) context.DeleteWithCmd(path);
}

}  // namespace veltrano::setup
