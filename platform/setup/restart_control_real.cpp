#include "platform/setup/setup_real.h"

#include "common/win_owners.h"

namespace platform::setup {

namespace {

class RealRestartControl final : public RestartControl {
public:
    int AskQuestion(const char* text, const char* caption, UINT type) override {
        return MessageBoxA(nullptr, text, caption, type);
    }

    bool SetShutdownPrivilege(bool enable) override {
        veltrano::UniqueHandle token;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.Receive())) {
            return false;
        }
        TOKEN_PRIVILEGES privileges{};
        privileges.PrivilegeCount = 1;
        bool ok = LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid) != FALSE;
        if (ok) {
            privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
            // AdjustTokenPrivileges succeeds without enabling anything when
            // the privilege is not held; only GetLastError tells.
            ok = AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr) != FALSE &&
                 GetLastError() == ERROR_SUCCESS;
        }
        return ok;
    }

    bool InitiateShutdown(const char* message, DWORD timeoutSeconds, bool forceAppsClosed,
                          bool rebootAfterShutdown) override {
        return InitiateSystemShutdownA(nullptr, const_cast<char*>(message), timeoutSeconds,
                                       forceAppsClosed, rebootAfterShutdown) != FALSE;
    }
};

}  // namespace

std::unique_ptr<RestartControl> MakeRealRestartControl() { return std::make_unique<RealRestartControl>(); }

}  // namespace platform::setup
