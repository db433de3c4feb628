// The control panel and an ASIO host as two programs, the way a user runs
// them: VeltranoHDACPLUI_sim.exe in one process, the probe streaming
// through VeltranoHDASIO_sim.dll in another. The panel is looked at from
// outside, through its windows, and clicked with the mouse.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "cpl/common/cpl_messages.h"
#include "cpl/skin/skin_tables.h"
#include "support/peer_process.h"
#include "support/real_input.h"
#include "support/screenshot.h"
#include "support/user_settings.h"

namespace {

using veltrano::test::RunProcess;
using veltrano::test::WinePath;

constexpr char kTitle[] = "Veltrano-HD Audio Control Panel";

class Program {
public:
    bool Start(const std::string& commandLine) {
        STARTUPINFOA si{};
        si.cb = sizeof(si);
        std::string line = commandLine;
        return CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &si, &m_info) != FALSE;
    }
    // Exit code, or STILL_ACTIVE when it did not end within ms.
    DWORD Wait(DWORD ms) {
        if (m_info.hProcess == nullptr) return STILL_ACTIVE;
        WaitForSingleObject(m_info.hProcess, ms);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(m_info.hProcess, &code);
        return code;
    }
    ~Program() {
        if (m_info.hProcess != nullptr) {
            if (Wait(0) == STILL_ACTIVE) TerminateProcess(m_info.hProcess, 1);
            CloseHandle(m_info.hProcess);
            CloseHandle(m_info.hThread);
        }
    }

private:
    PROCESS_INFORMATION m_info{};
};

HWND WaitForPanel(DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND h = FindWindowA(nullptr, kTitle)) return h;
        if (GetTickCount() - start > ms) return nullptr;
        Sleep(50);
    }
}

bool WaitFor(DWORD ms, const auto& done) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > ms) return false;
        Sleep(50);
    }
    return true;
}

struct ElementSearch {
    HWND panel;
    RECT want;
    HWND found;
    const char* name;
};

BOOL CALLBACK MatchElement(HWND child, LPARAM p) {
    auto* s = reinterpret_cast<ElementSearch*>(p);
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, s->panel, reinterpret_cast<POINT*>(&r), 2);
    if (r.left != s->want.left || r.top != s->want.top || r.right != s->want.right ||
        r.bottom != s->want.bottom) {
        return TRUE;
    }
    s->found = child;
    // Labels sharing a rectangle (the four indicators) are told apart by
    // their text.
    char text[64] = {};
    GetWindowTextA(child, text, sizeof text);
    const std::string n = s->name;
    const bool indicator = n == "TXT_ASIOPCM" || n.rfind("TXT_ASIODSD", 0) == 0;
    if (!indicator) return FALSE;
    const std::string expected = n == "TXT_ASIOPCM"      ? "PCM"
                                 : n == "TXT_ASIODSD"    ? "DSD64"
                                 : n == "TXT_ASIODSD128" ? "DSD128"
                                                         : "DSD256";
    return std::string(text) == expected ? FALSE : TRUE;
}

BOOL CALLBACK CountPanels(HWND h, LPARAM n) {
    char title[64] = {};
    GetWindowTextA(h, title, sizeof title);
    if (std::string(title) == kTitle) ++*reinterpret_cast<int*>(n);
    return TRUE;
}

// A skin element of the panel, found by its place in the layout.
HWND Element(HWND panel, const char* name) {
    RECT want{};
    bool known = false;
    for (const auto& row : skin::SkinButtonDef) {
        if (std::string(row.name) == name) {
            want = {row.x, row.y, row.x + row.width, row.y + row.height};
            known = true;
        }
    }
    for (const auto& row : skin::SkinLabelDef) {
        if (std::string(row.name) == name) {
            want = {row.x, row.y, row.x + row.width, row.y + row.height};
            known = true;
        }
    }
    if (!known) return nullptr;
    ElementSearch search{panel, want, nullptr, name};
    EnumChildWindows(panel, MatchElement, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string Text(HWND panel, const char* name) {
    char text[300] = {};
    GetWindowTextA(Element(panel, name), text, sizeof text);
    return text;
}

bool Shown(HWND panel, const char* name) {
    HWND h = Element(panel, name);
    return h != nullptr && IsWindowVisible(h);
}

void Click(HWND panel, const char* name) {
    HWND h = Element(panel, name);
    ASSERT_NE(h, nullptr) << name;
    veltrano::test::PointAt(h);
    Sleep(50);
    veltrano::test::SendMouseButton(MOUSEEVENTF_LEFTDOWN);
    Sleep(50);
    veltrano::test::SendMouseButton(MOUSEEVENTF_LEFTUP);
    Sleep(300);
}

// What the user sees, with the pointer moved off the window first so that
// no hover frame or tooltip of the last click stays in the picture.
void Shot(HWND panel, const char* name) {
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    Sleep(600);
    EXPECT_TRUE(veltrano::test::SaveWindowPng(panel, veltrano::test::ScreenshotPath(name))) << name;
}

void ClosePanel(HWND panel) {
    PostMessageA(panel, WM_COMMAND, veltrano::cpl::ID_CPL_EXIT, 0);
    WaitFor(10000, [] { return FindWindowA(nullptr, kTitle) == nullptr; });
}

std::string Quoted(const char* path) { return "\"" + WinePath(path) + "\""; }

class TwoProcesses : public ::testing::Test {
protected:
    void SetUp() override {
        VELTRANO_SKIP_WITHOUT_CHILD_PROCESSES();
        // Wine starts its desktop process with the first window work of a
        // session; started from a child, it would inherit and hold the
        // child's output pipe, and the child's run would never end.
        GetDesktopWindow();
        ASSERT_EQ(FindWindowA(nullptr, kTitle), nullptr) << "a panel is already running";
        ASSERT_EQ(RunProcess("regsvr32 /s " + Quoted(SIM_DLL), true, 60000).exitCode, 0u);
        veltrano::test::DeleteSettings();
        veltrano::test::WriteSetting("BitsPerSample", 24);
        veltrano::test::WriteSetting("BufferSize", 100);
    }
    void TearDown() override {
        if (HWND panel = FindWindowA(nullptr, kTitle)) ClosePanel(panel);
        RunProcess("regsvr32 /u /s " + Quoted(SIM_DLL), true, 60000);
        veltrano::test::DeleteSettings();
    }

    // A probe session in its own process, running while the test looks.
    void StartSession(Program& probe, const std::string& arguments) {
        ASSERT_TRUE(probe.Start(Quoted(PROBE_EXE) + " --driver Veltrano-HD " + arguments +
                                " --out " + Quoted((testing::TempDir() + "cpl_e2e.wav").c_str())));
    }
};

TEST_F(TwoProcesses, PanelShowsTheRunningStreamAndItsSettingsReachTheNextSession) {
    Program panelProcess;
    ASSERT_TRUE(panelProcess.Start(Quoted(PANEL_EXE)));
    HWND panel = WaitForPanel(30000);
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(WaitFor(10000, [&] { return IsWindowVisible(panel) != FALSE; }));

    {
        Program probe;
        StartSession(probe, "--rate 48000 --bits 24 --buffer 480 --seconds 8");
        EXPECT_TRUE(WaitFor(20000, [&] { return Text(panel, "TXT_ASIOSTATE") == "RUNNING"; }))
            << Text(panel, "TXT_ASIOSTATE");
        EXPECT_TRUE(WaitFor(3000, [&] { return Shown(panel, "TXT_ASIOPCM"); }));
        EXPECT_NE(Text(panel, "TXT_ASIODEVICE"), "Not Available");
        EXPECT_FALSE(Text(panel, "TXT_ASIODEVICE").empty());
        EXPECT_EQ(Text(panel, "TXT_ASIOSTATUS"), "2 Channel, 24 bits, 48000 Hz, Buffer 10.0 ms");
        EXPECT_TRUE(Shown(panel, "TXT_ASIOSTATUS"));
        EXPECT_FALSE(Shown(panel, "TXT_ASIODSD"));
        Shot(panel, "e2e-running-pcm");
        EXPECT_EQ(probe.Wait(60000), 0u);
    }
    EXPECT_TRUE(WaitFor(5000, [&] { return Text(panel, "TXT_ASIOSTATE") != "RUNNING"; }));

    {
        Program probe;
        // The test pattern, not the sine: the probe's DSD modulator works
        // bit by bit in floating point, which user-mode emulation (a 32-bit
        // build on a kernel without 32-bit support) runs about 40 times
        // slower than real time; the panel shows the same either way.
        StartSession(probe, "--rate 2822400 --buffer 112896 --signal pattern --seconds 8");
        EXPECT_TRUE(WaitFor(20000, [&] { return Shown(panel, "TXT_ASIODSD"); }));
        EXPECT_EQ(Text(panel, "TXT_ASIODSD"), "DSD64");
        EXPECT_FALSE(Shown(panel, "TXT_ASIOPCM"));
        Shot(panel, "e2e-running-dsd64");
        EXPECT_EQ(probe.Wait(60000), 0u);
    }

    // 32 bits chosen in the panel: the next session streams 32 bits.
    Click(panel, "BTN_ASIO_32B");
    {
        Program probe;
        StartSession(probe, "--rate 48000 --bits 32 --buffer 480 --seconds 3");
        EXPECT_TRUE(WaitFor(20000, [&] {
            return Text(panel, "TXT_ASIOSTATUS") == "2 Channel, 32 bits, 48000 Hz, Buffer 10.0 ms";
        })) << Text(panel, "TXT_ASIOSTATUS");
        Shot(panel, "e2e-running-32bits");
        EXPECT_EQ(probe.Wait(60000), 0u) << "the driver did not stream 32 bits";
    }

    // The driver's control-panel operation brings the hidden panel back.
    PostMessageA(panel, WM_COMMAND, veltrano::cpl::ID_TRAY_HIDE, 0);
    ASSERT_TRUE(WaitFor(5000, [&] { return !IsWindowVisible(panel); }));
    const auto request = RunProcess(Quoted(PROBE_EXE) + " --driver Veltrano-HD --control-panel",
                                    true, 60000);
    EXPECT_EQ(request.exitCode, 0u) << request.output;
    // One poll tick, with room for a loaded machine.
    EXPECT_TRUE(WaitFor(3000, [&] { return IsWindowVisible(panel) != FALSE; }));

    // A second start only brings the first window forward.
    Program second;
    ASSERT_TRUE(second.Start(Quoted(PANEL_EXE)));
    EXPECT_EQ(second.Wait(30000), 0u);
    int windows = 0;
    EnumWindows(CountPanels, reinterpret_cast<LPARAM>(&windows));
    EXPECT_EQ(windows, 1);

    ClosePanel(panel);
    EXPECT_EQ(panelProcess.Wait(15000), 0u);
    // The panel wrote its ASIO settings back when it closed.
    EXPECT_EQ(veltrano::test::ReadSetting("BitsPerSample"), 32u);
}

TEST_F(TwoProcesses, ControlPanelOperationStartsThePanelFromAsioCplWhenNoneRuns) {
    // The driver appends the product's file name to the folder it finds.
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "veltrano_asiocpl\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(WinePath(PANEL_EXE).c_str(), (folder + "VeltranoHDACPLUI.exe").c_str(), FALSE));
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\ASIO\\Veltrano-HD", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "ASIOCPL", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   static_cast<DWORD>(folder.size() + 1));
    RegCloseKey(key);

    const auto request = RunProcess(Quoted(PROBE_EXE) + " --driver Veltrano-HD --control-panel",
                                    true, 60000);
    EXPECT_EQ(request.exitCode, 0u) << request.output;
    HWND panel = WaitForPanel(30000);
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(WaitFor(10000, [&] { return IsWindowVisible(panel) != FALSE; }));
    Sleep(500);
    Shot(panel, "e2e-started-by-driver");
    ClosePanel(panel);
    EXPECT_EQ(FindWindowA(nullptr, kTitle), nullptr);
    DeleteFileA((folder + "VeltranoHDACPLUI.exe").c_str());
    RemoveDirectoryA(folder.c_str());
}

std::string Control(const std::string& request) {
    char reply[256] = {};
    DWORD got = 0;
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (CallNamedPipeA("\\\\.\\pipe\\VeltranoHD-sim-control", const_cast<char*>(request.data()),
                           static_cast<DWORD>(request.size()), reply, sizeof reply - 1, &got,
                           10000)) {
            return std::string(reply, got);
        }
        Sleep(100);  // the program may still be starting its channel
    }
    return "no answer";
}

TEST_F(TwoProcesses, ControlChannelPlaysTheUserAndOtherProgramsAgainstTheRunningPanel) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veltrano\\Veltrano-HD", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD on = 1;
    RegSetValueExA(key, "PlayRecPP", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof on);

    Program panelProcess;
    ASSERT_TRUE(panelProcess.Start(Quoted(PANEL_EXE)));
    HWND panel = WaitForPanel(30000);
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(WaitFor(10000, [&] { return Shown(panel, "BTN_P_96K"); }));
    EXPECT_EQ(Control("notifications"), "ok 1");

    // The mouse picks 24 bits, then 96 kHz: the endpoint holds that format.
    Click(panel, "BTN_P_24B");
    Click(panel, "BTN_P_96K");
    EXPECT_TRUE(WaitFor(3000, [] { return Control("get-format render 0") == "ok 96000 24 2"; }))
        << Control("get-format render 0");

    // Unplugged: the device sections go; plugged: they come back after the
    // settle delay.
    EXPECT_EQ(Control("unplug"), "ok");
    EXPECT_TRUE(WaitFor(3000, [&] { return !Shown(panel, "BTN_P_96K"); }));
    EXPECT_FALSE(Shown(panel, "BTN_ASIO_BFSZ_10MS"));
    Shot(panel, "e2e-unplugged");
    EXPECT_EQ(Control("plug"), "ok");
    // The window is rebuilt on its own thread while this one looks.
    EXPECT_TRUE(WaitFor(10000, [&] {
        return Shown(panel, "BTN_P_96K") && Shown(panel, "BTN_ASIO_BFSZ_10MS");
    }));

    // Another program's format: the panel does not write it back.
    EXPECT_EQ(Control("format render 0 44100 16"), "ok");
    Sleep(2500);
    EXPECT_EQ(Control("get-format render 0"), "ok 44100 16 2");
    EXPECT_EQ(Control("volume render 0 0 -30"), "ok");
    EXPECT_EQ(Control("bogus"), "error unknown request");
    Shot(panel, "e2e-plugged-again");

    ClosePanel(panel);
    EXPECT_EQ(panelProcess.Wait(15000), 0u);
    RegDeleteValueA(key, "PlayRecPP");
    RegCloseKey(key);
}

}  // namespace
