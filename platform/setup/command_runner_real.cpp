#include "platform/setup/setup_real.h"

#include <shellapi.h>

#include <vector>

#include "common/win_owners.h"

namespace platform::setup {

namespace {

class RealCommandRunner final : public CommandRunner {
public:
    // ShellExecuteExA for both verbs: it hands back the process, so that the
    // certificate files are deleted only once the tool is done with them.
    bool Launch(LaunchVerb verb, const std::string& file, const std::string& parameters) override {
        SHELLEXECUTEINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOCLOSEPROCESS;
        info.lpVerb = verb == LaunchVerb::Open ? "open" : "runas";
        info.lpFile = file.c_str();
        info.lpParameters = parameters.c_str();
        info.nShow = SW_SHOWNORMAL;
        if (!ShellExecuteExA(&info)) return false;
        if (info.hProcess) m_started.emplace_back(info.hProcess);
        return true;
    }

    void Wait(DWORD milliseconds) override { SleepEx(milliseconds, FALSE); }

    bool WaitForStarted(DWORD milliseconds) override {
        const ULONGLONG end = GetTickCount64() + milliseconds;
        for (const veltrano::UniqueHandle& process : m_started) {
            const ULONGLONG now = GetTickCount64();
            const DWORD left = now < end ? static_cast<DWORD>(end - now) : 0;
            if (WaitForSingleObject(process.get(), left) != WAIT_OBJECT_0) return false;
        }
        return true;
    }

private:
    // The processes started, held until this runner goes.
    std::vector<veltrano::UniqueHandle> m_started;
};

}  // namespace

std::unique_ptr<CommandRunner> MakeRealCommandRunner() { return std::make_unique<RealCommandRunner>(); }

}  // namespace platform::setup
