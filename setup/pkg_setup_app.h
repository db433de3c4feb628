#pragma once
// The co-installer application: one pass over the package key's tasks in
// its start-up operation, then the program ends.

#include <windows.h>

#include <functional>
#include <string>

#include "setup/setup_context.h"

namespace veltrano::setup {

struct SetupSeams {
    platform::setup::CommandRunner* runner = nullptr;
    platform::setup::RestartControl* restart = nullptr;
    platform::setup::DeviceSetup* devices = nullptr;
    // Which Windows this is (the co-installer's classification); false ends
    // the run.
    std::function<bool(OsKind*)> readOsKind;
    Payloads payloads;
};

class CPkgSetupApp {
public:
    CPkgSetupApp(SetupSeams seams, std::string commandLine);

    // Does all the work. Always FALSE, so that the program ends without a
    // message loop.
    BOOL InitInstance();

    // What the run did, for tests: whether it got to the status step, and
    // the steps that failed.
    bool ReachedEnd() const { return m_reachedEnd; }
    const SetupContext& Context() const { return m_context; }

private:
    bool ReadPackage();
    void RunTasks();

    SetupSeams m_seams;
    std::string m_commandLine;
    SetupContext m_context;
    bool m_reachedEnd = false;
};

}  // namespace veltrano::setup
