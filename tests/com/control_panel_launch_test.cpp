// The driver's control-panel launch against a real window under the X
// display, the user's registry and a stand-in panel program.
#include "asio/core/control_panel_launch.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "support/peer_process.h"

namespace {

using veltrano::asio::LaunchControlPanel;
using veltrano::PanelRequestFields;

const char kDriverKey[] = "Software\\ASIO\\Veltrano-HD";

std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, n);
    return dir.substr(0, dir.find_last_of("\\/") + 1);
}

void SetPanelFolder(const std::string& folder) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kDriverKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "ASIOCPL", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   static_cast<DWORD>(folder.size() + 1));
    RegCloseKey(key);
}

class ControlPanelLaunch : public ::testing::Test {
protected:
    void SetUp() override {
        // A private folder holding the stand-in program, as the installation
        // would have it.
        m_folder = ProgramFolder() + "panel_" + std::to_string(GetCurrentProcessId()) + "\\";
        CreateDirectoryA(m_folder.c_str(), nullptr);
        ASSERT_TRUE(CopyFileA((ProgramFolder() + "fake_cpl\\VeltranoHDACPLUI.exe").c_str(),
                              (m_folder + "VeltranoHDACPLUI.exe").c_str(), FALSE));
        m_started = CreateEventA(nullptr, TRUE, FALSE, "VeltranoTestPanelStarted");
        ASSERT_NE(m_started, nullptr);
        RegDeleteKeyValueA(HKEY_CURRENT_USER, kDriverKey, "ASIOCPL");
    }

    void TearDown() override {
        if (m_window != nullptr) DestroyWindow(m_window);
        RegDeleteKeyValueA(HKEY_CURRENT_USER, kDriverKey, "ASIOCPL");
        CloseHandle(m_started);
        const std::string program = m_folder + "VeltranoHDACPLUI.exe";
        for (int i = 0; i < 50 && !DeleteFileA(program.c_str()); ++i) Sleep(100);
        RemoveDirectoryA(m_folder.c_str());
    }

    void OpenPanelWindow() {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "VeltranoTestPanelWindow";
        RegisterClassA(&wc);
        m_window = CreateWindowExA(0, wc.lpszClassName, "Veltrano-HD Audio Control Panel",
                                   WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                   wc.hInstance, nullptr);
        ASSERT_NE(m_window, nullptr) << "window tests need an X display";
    }

    // A started program signals within seconds; a quiet interval long enough
    // for it to have started stands for "nothing was started".
    bool PanelStarted(DWORD waitMs) { return WaitForSingleObject(m_started, waitMs) == 0; }

    std::string m_folder;
    HANDLE m_started = nullptr;
    HWND m_window = nullptr;
    volatile uint32_t m_changed = 0;
    volatile uint32_t m_showPanelRequest = 0;
    PanelRequestFields Fields() { return {&m_changed, &m_showPanelRequest}; }
};

TEST_F(ControlPanelLaunch, ARunningPanelIsAskedToShowItselfAndNothingIsStarted) {
    OpenPanelWindow();
    SetPanelFolder(m_folder);
    LaunchControlPanel(Fields());
    EXPECT_EQ(m_changed, 1);
    EXPECT_EQ(m_showPanelRequest, 1);
    EXPECT_FALSE(PanelStarted(3000));

    // Without the status block there is nothing to ask, and still no start.
    LaunchControlPanel({});
    EXPECT_FALSE(PanelStarted(1000));
}

TEST_F(ControlPanelLaunch, WithoutAPanelTheProgramIsStartedFromTheConfiguredFolder) {
    VELTRANO_SKIP_WITHOUT_CHILD_PROCESSES();
    SetPanelFolder(m_folder);
    LaunchControlPanel(Fields());
    EXPECT_TRUE(PanelStarted(30000));
    // The stand-in opens no window, so no request is left for it.
    EXPECT_EQ(m_showPanelRequest, 0);
    EXPECT_EQ(m_changed, 0);
}

TEST_F(ControlPanelLaunch, WithoutTheFolderValueNothingHappens) {
    LaunchControlPanel(Fields());
    EXPECT_FALSE(PanelStarted(3000));
    EXPECT_EQ(m_changed, 0);
    EXPECT_EQ(m_showPanelRequest, 0);
}

TEST_F(ControlPanelLaunch, AFolderTooLongForTheProgramNameStartsNothing) {
    // A cut path would name some other file.
    SetPanelFolder(std::string(250, 'x') + "\\");
    LaunchControlPanel(Fields());
    SetPanelFolder(m_folder.substr(0, m_folder.size() - 1) + std::string(260, ' '));
    LaunchControlPanel(Fields());
    EXPECT_FALSE(PanelStarted(3000));
}

}  // namespace
