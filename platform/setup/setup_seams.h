#pragma once
// The co-installer's reach into the system: starting other programs and the
// fixed waits, the restart question and shutdown request, and the setup API
// and configuration manager calls of the driver task. The product uses the
// real implementations (platform/setup/*_real.cpp); tests put recording and
// virtual ones (sim/setup) in their place, so no test reaches a real
// restart, a real driver store or a device.

#include <windows.h>

#include <string>

namespace platform::setup {

// How a command is started: with the verb "open" on systems without user
// account control, with "runas" elsewhere.
enum class LaunchVerb { Open, RunAs };

class CommandRunner {
public:
    virtual ~CommandRunner() = default;
    // Starts `file` with `parameters` (SW_SHOWNORMAL) and does not wait for
    // it. False when it could not be started.
    virtual bool Launch(LaunchVerb verb, const std::string& file, const std::string& parameters) = 0;
    // One of the flow's fixed waits.
    virtual void Wait(DWORD milliseconds) = 0;
    // Waits until every command started so far has ended, at most
    // `milliseconds` in all; false when one still runs then.
    virtual bool WaitForStarted(DWORD milliseconds) = 0;
};

class RestartControl {
public:
    virtual ~RestartControl() = default;
    // MessageBoxA without an owner: IDYES, IDNO, or 0 when no box could be
    // shown.
    virtual int AskQuestion(const char* text, const char* caption, UINT type) = 0;
    // Enables or disables SeShutdownPrivilege in the process token; false
    // when the token cannot be opened or the adjustment reports an error.
    virtual bool SetShutdownPrivilege(bool enable) = 0;
    // InitiateSystemShutdownA for the local computer.
    virtual bool InitiateShutdown(const char* message, DWORD timeoutSeconds, bool forceAppsClosed,
                                  bool rebootAfterShutdown) = 0;
};

// The device side of the driver task, over one device information set of
// the "USB" enumerator (all classes, present or not). Devices are addressed
// by their enumeration index in that set.
class DeviceSetup {
public:
    virtual ~DeviceSetup() = default;
    // SetupDiGetClassDevsA(nullptr, "USB", nullptr, DIGCF_ALLCLASSES).
    virtual bool OpenUsbDeviceSet() = 0;
    // SetupDiEnumDeviceInfo: false past the last device.
    virtual bool EnumDevice(DWORD index) = 0;
    // The first string of SPDRP_HARDWAREID, and SPDRP_DRIVER.
    virtual bool GetFirstHardwareId(DWORD index, std::string* id) = 0;
    virtual bool GetDriverKeyName(DWORD index, std::string* name) = 0;
    // SetupDiCallClassInstaller(DIF_REMOVE).
    virtual bool RemoveDevice(DWORD index) = 0;
    // SetupUninstallOEMInfA(name, SUOI_FORCEDELETE).
    virtual bool UninstallOemInf(const std::string& infName) = 0;
    // SetupOpenInfFileA (INF_STYLE_WIN4), a file queue with the copy
    // operations of `section` (copy style as given), committed with the
    // default queue callback, then the queue and INF closed. False when the
    // INF does not open.
    virtual bool InstallInfSectionFiles(const std::string& infPath, const std::string& section,
                                        DWORD copyStyle) = 0;
    // SetupCopyOEMInfA(infPath, nullptr, SPOST_PATH, 0, ...).
    virtual bool CopyOemInf(const std::string& infPath) = 0;
    // CM_Locate_DevNodeA for the root, then CM_Reenumerate_DevNode.
    virtual bool ReenumerateRoot() = 0;
    // SetupDiDestroyDeviceInfoList.
    virtual void CloseDeviceSet() = 0;
};

}  // namespace platform::setup
