#include "platform/setup/setup_real.h"

#include <shellapi.h>

namespace platform::setup {

namespace {

class RealCommandRunner final : public CommandRunner {
public:
    bool Launch(LaunchVerb verb, const std::string& file, const std::string& parameters) override {
        if (verb == LaunchVerb::Open) {
            const auto result = reinterpret_cast<INT_PTR>(
                ShellExecuteA(nullptr, "open", file.c_str(), parameters.c_str(), nullptr, SW_SHOWNORMAL));
            return result > 32;
        }
        SHELLEXECUTEINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
        info.lpVerb = "runas";
        info.lpFile = file.c_str();
        info.lpParameters = parameters.c_str();
        info.nShow = SW_SHOWNORMAL;
        return ShellExecuteExA(&info) != FALSE;
    }

    void Wait(DWORD milliseconds) override { SleepEx(milliseconds, FALSE); }
};

}  // namespace

std::unique_ptr<CommandRunner> MakeRealCommandRunner() { return std::make_unique<RealCommandRunner>(); }

}  // namespace platform::setup
