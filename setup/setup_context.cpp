#include "setup/setup_context.h"

#include "setup/setup_text.h"

namespace veltrano::setup {

using platform::setup::LaunchVerb;

void SetupContext::Fail(const std::string& what) {
    failures.push_back(what);
    OutputDebugStringA(("PkgSetup: " + what + "\n").c_str());
}

bool SetupContext::Launch(const std::string& file, const std::string& parameters) {
    if (os.kind == 0 || os.kind == 1) return runner->Launch(LaunchVerb::Open, file, parameters);
    if (os.kind >= 2 && os.kind <= 11) return runner->Launch(LaunchVerb::RunAs, file, parameters);
    return false;
}

bool SetupContext::DeleteWithCmd(std::string_view path) {
    const auto parameters = DeleteCommandParameters(path);
    if (!parameters) {
        Fail("delete: path not safe for CMD: " + std::string(path));
        return false;
    }
    if (!Launch("CMD.exe", *parameters)) {
        Fail("delete: CMD.exe not started for " + std::string(path));
        return false;
    }
    return true;
}

bool SetupContext::InPackage(std::string_view name, std::string* path, const char* step) {
    auto joined = JoinPath(installPath, name);
    if (!joined) {
        Fail(std::string(step) + ": path too long: " + installPath + std::string(name));
        return false;
    }
    *path = std::move(*joined);
    return true;
}

}  // namespace veltrano::setup
