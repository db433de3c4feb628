#pragma once
// Stand-ins for the co-installer seams: a command runner that records what
// it was asked to start, a restart control that answers the question as
// told and records every request, and a virtual USB device tree for the
// driver task.
//
// The device tree lives in memory, but what the platform keeps outside the
// setup API is real: driver keys are read from the registry's Class key and
// OEM INF files from the Windows folder's "inf" folder (both inside the Wine
// prefix in tests), and removing an OEM INF deletes that file, as Windows
// does.

#include <string>
#include <vector>

#include "platform/setup/setup_seams.h"

namespace sim::setup {

using platform::setup::LaunchVerb;

struct Launch {
    LaunchVerb verb;
    std::string file;
    std::string parameters;
};

class RecordingCommandRunner final : public platform::setup::CommandRunner {
public:
    bool Launch(LaunchVerb verb, const std::string& file, const std::string& parameters) override;
    void Wait(DWORD milliseconds) override { waits.push_back(milliseconds); }
    bool WaitForStarted(DWORD milliseconds) override {
        waitsForStarted.push_back({launches.size(), milliseconds});
        return !stillRunning;
    }

    bool failLaunches = false;  // ShellExecute reports failure
    std::vector<sim::setup::Launch> launches;
    std::vector<DWORD> waits;
    bool stillRunning = false;  // the started commands do not end in time
    struct WaitForStartedCall {
        size_t launchesBefore;
        DWORD milliseconds;
    };
    std::vector<WaitForStartedCall> waitsForStarted;
};

class ScriptedRestartControl final : public platform::setup::RestartControl {
public:
    int AskQuestion(const char* text, const char* caption, UINT type) override;
    bool SetShutdownPrivilege(bool enable) override;
    bool InitiateShutdown(const char* message, DWORD timeoutSeconds, bool forceAppsClosed,
                          bool rebootAfterShutdown) override;

    int answer = IDNO;               // 0: the box could not be shown
    bool privilegeAvailable = true;  // false: the adjustment reports an error

    struct Question {
        std::string text, caption;
        UINT type;
    };
    struct Shutdown {
        std::string message;
        DWORD timeoutSeconds;
        bool forceAppsClosed, reboot;
    };
    std::vector<Question> questions;
    std::vector<bool> privilegeChanges;  // true = enable
    std::vector<Shutdown> shutdowns;
};

struct VirtualDevice {
    std::vector<std::string> hardwareIds;  // first one is what the scan reads
    std::string driverKey;                 // empty: no driver installed
    bool removed = false;
};

class VirtualDeviceTree final : public platform::setup::DeviceSetup {
public:
    bool OpenUsbDeviceSet() override;
    bool EnumDevice(DWORD index) override;
    bool GetFirstHardwareId(DWORD index, std::string* id) override;
    bool GetDriverKeyName(DWORD index, std::string* name) override;
    bool RemoveDevice(DWORD index) override;
    bool UninstallOemInf(const std::string& infName) override;
    bool InstallInfSectionFiles(const std::string& infPath, const std::string& section,
                                DWORD copyStyle) override;
    bool CopyOemInf(const std::string& infPath) override;
    bool ReenumerateRoot() override;
    void CloseDeviceSet() override;

    std::vector<VirtualDevice> devices;
    bool failOpenSet = false;

    // What was asked, in order, one line per call ("remove 2",
    // "uninstall-oem oem7.inf", "queue <inf> [<section>] 0x2000",
    // "copy-oem <inf>", "reenumerate", "close").
    std::vector<std::string> calls;
    // OEM INF names given out by CopyOemInf, in order.
    std::vector<std::string> copiedOemInfs;

private:
    bool m_open = false;
    // The devices as enumerated when the set was made: a set is a snapshot.
    std::vector<size_t> m_snapshot;
};

}  // namespace sim::setup
