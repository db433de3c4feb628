// The driver task against the virtual USB device tree: which devices are
// removed, which OEM INFs leave the store, what is installed per Windows
// kind, and the device search path and signing policy it leaves behind.
// Driver keys live in the prefix's registry and OEM INFs in its inf folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "setup/driver_task.h"
#include "setup/setup_flow_fixture.h"
#include "setup/setup_text.h"

namespace veltrano::test {
namespace {

constexpr char kTestClass[] = "{7e1c0de0-5e70-4000-8000-00000000a0d1}";
constexpr char kDevicePathKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

std::string InfFolder() {
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    return std::string(windows) + "\\inf\\";
}

std::optional<DWORD> AllSigningEqual() {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies\\Microsoft\\Windows\\DeviceInstall\\Settings",
                     "AllSigningEqual", RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return value;
}

void SetDevicePath(DWORD type, const std::string& bytes) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDevicePathKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    RegSetValueExA(key, "DevicePath", 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                   static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
}

std::string DevicePath() { return RegString(HKEY_LOCAL_MACHINE, kDevicePathKey, "DevicePath").value_or("<none>"); }

class DriverTask : public SetupFlow {
protected:
    void SetUp() override {
        SetupFlow::SetUp();
        savedDevicePath = RegString(HKEY_LOCAL_MACHINE, kDevicePathKey, "DevicePath");
        SetDevicePath(REG_EXPAND_SZ, std::string("%SystemRoot%\\inf") + '\0');
        HKEY policies = nullptr;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies\\Microsoft\\Windows", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &policies, nullptr);
        RegCloseKey(policies);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies\\Microsoft\\Windows\\DeviceInstall");

        for (const char* dir : {"Driver", "DriverXP"}) {
            CreateDirectoryA((folder + dir).c_str(), nullptr);
            for (const char* service : {"VelHdUAC", "VelHdiAP"}) {
                WriteTextFile(folder + dir + "\\" + service + ".inf",
                              std::string("[Version]\r\nSignature=\"$Windows NT$\"\r\n[") + service +
                                  "]\r\nCopyFiles=Files\r\n");
            }
        }
        // Our audio driver's OEM INF, our interface-6 driver's, and a
        // class driver's that names neither service.
        AddOemInf("oem9001.inf", "[Version]\r\n[Install]\r\nAddService = VelHdUAC, 2, Service\r\n");
        AddOemInf("oem9002.inf", "[Version]\r\n\r\n[Files]\r\nvelhdiap.sys\r\n");
        AddOemInf("oem9003.inf", "[Version]\r\nAddService = usbaudio, 2, Service\r\n");

        AddDevice("USB\\VID_1209&PID_0001&REV_0100&MI_01", "oem9001.inf");  // 0: ours, removed
        AddDevice("USB\\VID_1209&PID_0001&MI_01", "oem9001.inf");           // 1: no REV
        AddDevice("USB\\VID_1209&PID_0001&REV_0100", "oem9001.inf");        // 2: no MI
        AddDevice("USB\\VID_8086&PID_0001&REV_0100&MI_01", "oem9001.inf");  // 3: not ours
        AddDevice("usb\\vid_1209&pid_0002&rev_0200&mi_01", "oem9003.inf");  // 4: ours, foreign INF
        AddDevice("USB\\VID_1209&PID_0003&REV_0001&MI_06", "oem9002.inf");  // 5: interface 6
        AddDevice("USB\\VID_1209&PID_0004&REV_0001&MI_01", "");             // 6: no driver key
        AddDevice("USB\\VID_1209&PID_0005&REV_0001&MI_01", "missing.inf");  // 7: INF not in the store
    }

    void TearDown() override {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(setup::kClassKey) + kTestClass).c_str());
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies\\Microsoft\\Windows\\DeviceInstall");
        for (const std::string& name : oemInfs) DeleteFileA((InfFolder() + name).c_str());
        for (const std::string& name : devices.copiedOemInfs) DeleteFileA((InfFolder() + name).c_str());
        if (savedDevicePath) SetDevicePath(REG_EXPAND_SZ, *savedDevicePath + '\0');
        SetupFlow::TearDown();
    }

    void AddOemInf(const std::string& name, const std::string& text) {
        ASSERT_TRUE(WriteTextFile(InfFolder() + name, text));
        oemInfs.push_back(name);
    }

    void AddDevice(const std::string& hardwareId, const std::string& infPath) {
        sim::setup::VirtualDevice device;
        device.hardwareIds = {hardwareId, "USB\\COMPATIBLE"};
        if (!infPath.empty()) {
            char instance[8];
            snprintf(instance, sizeof instance, "%04zu", devices.devices.size());
            device.driverKey = std::string(kTestClass) + "\\" + instance;
            HKEY key = nullptr;
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, (std::string(setup::kClassKey) + device.driverKey).c_str(), 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
            RegSetValueExA(key, "InfPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(infPath.c_str()),
                           static_cast<DWORD>(infPath.size() + 1));
            RegCloseKey(key);
        }
        devices.devices.push_back(device);
    }

    std::vector<std::string> CallsStartingWith(const std::string& prefix) {
        std::vector<std::string> out;
        for (const std::string& call : devices.calls) {
            if (call.rfind(prefix, 0) == 0) out.push_back(call);
        }
        return out;
    }

    std::optional<std::string> savedDevicePath;
    std::vector<std::string> oemInfs;
};

TEST_F(DriverTask, InstallRemovesOurDevicesAndTheirInfsThenInstallsBothPackages) {
    const auto app = Run(0x02);
    EXPECT_EQ(CallsStartingWith("remove"), (std::vector<std::string>{"remove 0", "remove 4", "remove 5"}));
    EXPECT_EQ(CallsStartingWith("uninstall-oem"),
              (std::vector<std::string>{"uninstall-oem oem9001.inf", "uninstall-oem oem9002.inf"}));
    EXPECT_FALSE(FileExists(InfFolder() + "oem9001.inf"));
    EXPECT_TRUE(FileExists(InfFolder() + "oem9003.inf"));  // mentions neither service

    const std::string driver = folder + "Driver\\";
    EXPECT_EQ(CallsStartingWith("queue"),
              (std::vector<std::string>{"queue " + driver + "VelHdUAC.inf [VelHdUAC] 0x2000",
                                        "queue " + driver + "VelHdiAP.inf [VelHdiAP] 0x2000"}));
    ASSERT_EQ(devices.copiedOemInfs.size(), 2u);
    EXPECT_EQ(ReadWholeFile(InfFolder() + devices.copiedOemInfs[1]), ReadWholeFile(driver + "VelHdiAP.inf"));
    EXPECT_EQ(runner.waits, (std::vector<DWORD>{1500, 100, 1500, 100}));
    EXPECT_EQ(devices.calls.back(), "close");
    EXPECT_EQ(devices.calls[devices.calls.size() - 2], "reenumerate");

    EXPECT_EQ(DevicePath(), setup::UpperAscii(folder) + "DRIVER;%SystemRoot%\\inf");
    EXPECT_EQ(AllSigningEqual().value_or(99), 1u);
    EXPECT_EQ(Status().value_or(0), 80u);
    EXPECT_TRUE(app.Context().failures.empty());

    // Installed again: the search path does not grow.
    devices.calls.clear();
    Run(0x40);
    EXPECT_EQ(DevicePath(), setup::UpperAscii(folder) + "DRIVER;%SystemRoot%\\inf");
    EXPECT_EQ(CallsStartingWith("queue").size(), 2u);
}

TEST_F(DriverTask, Windows10Version1703InstallsOnlyTheInterfaceSixPackageAndKeepsTheSearchPath) {
    facts = Windows10(15063);
    Run(0x02);
    EXPECT_EQ(CallsStartingWith("queue"),
              (std::vector<std::string>{"queue " + folder + "Driver\\VelHdiAP.inf [VelHdiAP] 0x2000"}));
    EXPECT_EQ(CallsStartingWith("copy-oem").size(), 1u);
    EXPECT_EQ(CallsStartingWith("remove").size(), 3u);
    EXPECT_EQ(DevicePath(), "%SystemRoot%\\inf");
    EXPECT_EQ(AllSigningEqual().value_or(99), 1u);
}

TEST_F(DriverTask, XpUsesItsOwnFolderInstallsNothingButStillRemovesAndReenumerates) {
    facts = WindowsXp();
    Run(0x02);
    EXPECT_TRUE(CallsStartingWith("queue").empty());
    EXPECT_TRUE(CallsStartingWith("copy-oem").empty());
    EXPECT_EQ(CallsStartingWith("remove").size(), 3u);
    EXPECT_EQ(CallsStartingWith("reenumerate").size(), 1u);
    EXPECT_EQ(runner.waits, (std::vector<DWORD>{100, 100}));
    EXPECT_EQ(DevicePath(), setup::UpperAscii(folder) + "DRIVERXP;%SystemRoot%\\inf");
}

TEST_F(DriverTask, UninstallRemovesDevicesAndUndoesSearchPathAndPolicy) {
    SetDevicePath(REG_SZ, "%SystemRoot%\\inf;" + setup::UpperAscii(folder) + "DRIVER" + '\0');
    Run(0x02);  // install first: policy 1
    Run(0x02, "/U");
    EXPECT_EQ(DevicePath(), "%SystemRoot%\\inf");
    EXPECT_EQ(AllSigningEqual().value_or(99), 0u);
    // The second run sees the devices the first re-enumerated, now without
    // drivers: nothing left to remove.
    EXPECT_EQ(CallsStartingWith("queue").size(), 2u);
    EXPECT_EQ(CallsStartingWith("remove").size(), 3u);
}

// The system's drivers folder can hold files of our drivers' names that the
// device's own driver installation put there: an uninstall deletes only the
// files an install of ours recorded, each once, whatever its own flags.
TEST_F(DriverTask, UninstallDeletesOnlyTheDriverFilesAnInstallRecorded) {
    struct Install {
        OsVersionFacts os;
        DWORD flags;
    };
    struct Case {
        const char* what;
        std::vector<Install> installs;
        std::vector<std::string> deleted;
    };
    const Case cases[] = {
        {"package without drivers", {{Windows7(true), 0x0C}}, {}},
        {"both packages", {{Windows7(true), 0x02}}, {"VelHdUAC.sys", "VelHdiAP.sys"}},
        {"Windows 10 1703: interface 6 only", {{Windows10(15063), 0x40}}, {"VelHdiAP.sys"}},
        {"XP installs no INF", {{WindowsXp(), 0x02}}, {}},
        {"installed over without the driver task", {{Windows7(true), 0x02}, {Windows7(true), 0x0C}},
         {"VelHdUAC.sys", "VelHdiAP.sys"}},
        {"a later install never shortens the record", {{Windows7(true), 0x02}, {Windows10(15063), 0x02}},
         {"VelHdUAC.sys", "VelHdiAP.sys"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, setup::kPackageKeyTwin, setup::kInstalledDriversValue);
        for (const Install& install : c.installs) {
            facts = install.os;
            Run(install.flags);
        }
        if (!c.deleted.empty()) {
            // Where the package's setup program keeps the key, so it goes
            // with the rest of it.
            EXPECT_TRUE(RegString(HKEY_LOCAL_MACHINE, setup::kPackageKeyTwin, setup::kInstalledDriversValue));
        }
        runner.launches.clear();
        facts = Windows7(true);
        Run(0x0C, "/U");
        std::vector<std::string> deleted;
        for (const auto& launch : runner.launches) {
            const size_t at = launch.parameters.find("\\drivers\\");
            if (launch.file == "CMD.exe" && at != std::string::npos) {
                deleted.push_back(launch.parameters.substr(at + 9, launch.parameters.size() - at - 10));
            }
        }
        EXPECT_EQ(deleted, c.deleted);
    }
}

TEST_F(DriverTask, NoDeviceSetMeansNothingRemovedButTheRunGoesOn) {
    devices.failOpenSet = true;
    const auto app = Run(0x06);
    EXPECT_TRUE(CallsStartingWith("remove").empty());
    EXPECT_TRUE(CallsStartingWith("queue").empty());
    EXPECT_EQ(app.Context().failures.size(), 1u);
    EXPECT_EQ(runner.launches.size(), 2u);  // the registration still runs
    EXPECT_EQ(Status().value_or(0), 80u);
}

TEST_F(DriverTask, ASearchPathThatIsNotAStringIsLeftAlone) {
    SetDevicePath(REG_BINARY, std::string("\x01\x02\x03", 3));
    const auto app = Run(0x02);
    DWORD type = 0;
    char bytes[8] = {};
    DWORD size = sizeof bytes;
    ASSERT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, kDevicePathKey, "DevicePath", RRF_RT_ANY, &type, bytes, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(app.Context().failures.size(), 1u);

    // A huge one is edited like any other.
    const std::string huge(60000, 'x');
    SetDevicePath(REG_EXPAND_SZ, huge + '\0');
    Run(0x02);
    HKEY key = nullptr;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDevicePathKey, 0, KEY_READ, &key);
    const auto value = setup::ReadStringValue(key, "DevicePath");
    RegCloseKey(key);
    EXPECT_EQ(value.value_or(""), setup::UpperAscii(folder) + "DRIVER;" + huge);
}

}  // namespace
}  // namespace veltrano::test
