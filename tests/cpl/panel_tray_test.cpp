// The notification-area icon used the way a user uses it: the shell's own
// tray window (Wine's, under Xvfb) gets the real mouse clicks and sends the
// panel its callback message; the popup menu is chosen with real keys.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/contract/panel_window.h"
#include "cpl/app/app.h"
#include "cpl/app/panel_tables.h"
#include "cpl/common/cpl_messages.h"
#include "cpl/panel_harness.h"
#include "sim/audio/virtual_audio.h"
#include "sim/os/os_pretend.h"
#include "sim/sim.h"
#include "support/real_input.h"
#include "support/user_settings.h"

namespace veltrano::cpl::test {
namespace {

namespace vs = veltrano::sim;

// Wine's notification area when no desktop tray takes its icons: a small
// window of its own that shows them.
HWND TrayWindow() { return FindWindowA(nullptr, "Wine System Tray"); }

// The middle of the first icon in the tray's client area (one icon: ours).
POINT FirstIcon(HWND tray) {
    const int cx = GetSystemMetrics(SM_CXSMICON) + 4;
    const int cy = GetSystemMetrics(SM_CYSMICON) + 4;
    POINT p{cx / 2, cy / 2};
    ClientToScreen(tray, &p);
    return p;
}

using veltrano::test::SendKey;
using veltrano::test::SendMouseButton;

// Waits for a popup menu on screen, notes its items, then moves down to
// item `index` with the arrow key and chooses it with Enter.
class MenuChooser {
public:
    explicit MenuChooser(int index)
        : m_thread([this, index] { Run(index); }) {}
    ~MenuChooser() {
        if (m_thread.joinable()) m_thread.join();
    }
    bool Done() const { return m_done; }
    bool MenuSeen() const { return m_seen; }
    // The wanted item was highlighted and Enter closed the menu.
    bool Chosen() const { return m_chosen; }
    std::vector<std::string> Items() {
        if (m_thread.joinable()) m_thread.join();
        return m_items;
    }

private:
    static int Highlighted(HMENU menu) {
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            const UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
            if (state != static_cast<UINT>(-1) && (state & MF_HILITE) != 0) return i;
        }
        return -1;
    }

    void Run(int index) {
        const DWORD start = GetTickCount();
        HWND menuWindow = nullptr;
        while (GetTickCount() - start < 10000) {
            menuWindow = FindWindowA("#32768", nullptr);
            if (menuWindow != nullptr && IsWindowVisible(menuWindow)) break;
            menuWindow = nullptr;
            Sleep(20);
        }
        if (menuWindow != nullptr) {
            m_seen = true;
            HMENU menu = reinterpret_cast<HMENU>(SendMessageA(menuWindow, MN_GETHMENU, 0, 0));
            for (int i = 0; i < GetMenuItemCount(menu); ++i) {
                char text[64] = {};
                GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
                m_items.push_back(text);
            }
            // Keys that come before the menu owns the keyboard are lost,
            // so each one is sent until the menu shows it took it.
            for (int attempt = 0;
                 attempt < 20 && IsWindowVisible(menuWindow) && Highlighted(menu) != index;
                 ++attempt) {
                const int before = Highlighted(menu);
                SendKey(VK_DOWN);
                for (int wait = 0; wait < 10 && Highlighted(menu) == before; ++wait) Sleep(30);
            }
            if (Highlighted(menu) == index) {
                for (int attempt = 0; attempt < 5 && IsWindowVisible(menuWindow); ++attempt) {
                    SendKey(VK_RETURN);
                    for (int wait = 0; wait < 20 && IsWindowVisible(menuWindow); ++wait) Sleep(50);
                }
                m_chosen = !IsWindowVisible(menuWindow);
            }
        }
        m_done = true;
    }

    std::vector<std::string> m_items;
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_seen{false};

    std::atomic<bool> m_chosen{false};
    std::thread m_thread;
};

class TrayPanel : public ::testing::Test {
protected:
    void SetUp() override {
        FreshVirtualSystem(Windows10Workstation());
        SetSwitches(-1, -1, -1);
    }
    void TearDown() override {
        veltrano::test::DeleteSettings();
        ::sim::StopPretendingOs();
    }

    // The panel is placed at the screen's corner, over the tray window:
    // a user would move it; so does the test.
    HWND UncoverTray(PanelWindow& w) {
        HWND tray = nullptr;
        for (int i = 0; i < 100 && (tray == nullptr || !IsWindowVisible(tray)); ++i) {
            tray = TrayWindow();
            w.Pump(20);
        }
        if (tray == nullptr) return nullptr;
        RECT r{};
        GetWindowRect(tray, &r);
        SetWindowPos(w.Hwnd(), nullptr, r.right + 20, 0, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        w.Pump(100);
        return tray;
    }

    // Right click on the icon; the menu that opens is chosen at `index`,
    // which is done once `taken` holds. Wine's tray now and then drops a
    // click, or its menu closes before a key reaches it (the tray window
    // takes the X focus back), even with the item highlighted; a user
    // clicks again, and so does the test, at most three times.
    std::vector<std::string> ChooseFromTrayMenu(PanelWindow& w, HWND tray, int index,
                                                const std::function<bool()>& taken) {
        const POINT icon = FirstIcon(tray);
        for (int round = 0; round < 3; ++round) {
            MenuChooser chooser(index);
            for (int click = 0; click < 3 && !chooser.MenuSeen(); ++click) {
                SetCursorPos(icon.x, icon.y);
                w.Pump(50);
                SendMouseButton(MOUSEEVENTF_RIGHTDOWN);
                w.Pump(30);
                SendMouseButton(MOUSEEVENTF_RIGHTUP);
                const DWORD clicked = GetTickCount();
                while (!chooser.MenuSeen() && GetTickCount() - clicked < 3000) w.Pump(20);
            }
            const DWORD start = GetTickCount();
            while (!chooser.Done() && GetTickCount() - start < 15000) w.Pump(20);
            w.Pump(200);
            auto items = chooser.Items();
            if (!chooser.Chosen()) continue;
            const DWORD chosen = GetTickCount();
            while (!taken() && GetTickCount() - chosen < 2000) w.Pump(20);
            if (taken()) return items;
        }
        return {};
    }

    void DoubleClickIcon(PanelWindow& w, HWND tray) {
        const POINT icon = FirstIcon(tray);
        SetCursorPos(icon.x, icon.y);
        w.Pump(50);
        for (int i = 0; i < 2; ++i) {
            SendMouseButton(MOUSEEVENTF_LEFTDOWN);
            w.Pump(20);
            SendMouseButton(MOUSEEVENTF_LEFTUP);
            w.Pump(60);
        }
        w.Pump(200);
    }
};

TEST_F(TrayPanel, HideShowAndExitThroughTheShellsTrayWithRealClicksAndKeys) {
    PanelWindow w;
    ASSERT_TRUE(w.Dialog().TrayIconAdded());
    HWND tray = UncoverTray(w);
    ASSERT_NE(tray, nullptr) << "no notification-area window to click";

    // Minimised (the skin's own hide button does the same): hidden, not
    // on the taskbar; a double click on the icon brings it back.
    SendMessageA(w.Hwnd(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    w.Pump(50);
    ASSERT_FALSE(IsWindowVisible(w.Hwnd()));
    EXPECT_FALSE(IsIconic(w.Hwnd()));
    DoubleClickIcon(w, tray);
    EXPECT_TRUE(IsWindowVisible(w.Hwnd()));

    // The menu of a visible window offers Hide, then Exit.
    auto items = ChooseFromTrayMenu(w, tray, 0, [&] { return !IsWindowVisible(w.Hwnd()); });
    EXPECT_EQ(items, (std::vector<std::string>{"Hide", "Exit"}));
    EXPECT_FALSE(IsWindowVisible(w.Hwnd()));

    // Hidden, it offers Show.
    items = ChooseFromTrayMenu(w, tray, 0, [&] { return IsWindowVisible(w.Hwnd()) != FALSE; });
    EXPECT_EQ(items, (std::vector<std::string>{"Show", "Exit"}));
    EXPECT_TRUE(IsWindowVisible(w.Hwnd()));
    w.Shot("panel-shown-from-tray");

    // Exit ends the panel and takes its icon away.
    items = ChooseFromTrayMenu(w, tray, 1, [&] { return w.Dialog().m_hWnd == nullptr; });
    EXPECT_EQ(items, (std::vector<std::string>{"Hide", "Exit"}));
    EXPECT_EQ(w.Dialog().m_hWnd, nullptr);
    EXPECT_FALSE(w.Dialog().TrayIconAdded());
}

// The shell restarted (Explorer crashed or was restarted): the new one
// starts with an empty notification area and announces itself with the
// registered "TaskbarCreated" message; the panel puts its icon back, so a
// panel hidden there stays within reach.
TEST_F(TrayPanel, IconComesBackWhenANewShellAnnouncesItself) {
    PanelWindow w;
    ASSERT_TRUE(w.Dialog().TrayIconAdded());
    HWND tray = UncoverTray(w);
    ASSERT_NE(tray, nullptr) << "no notification area";
    NOTIFYICONDATAA data{};
    data.cbSize = sizeof(data);
    data.hWnd = w.Hwnd();
    data.uID = 50;
    data.uFlags = NIF_TIP;
    lstrcpyA(data.szTip, "Veltrano-HD");
    const auto iconShown = [&] { return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE; };
    ASSERT_TRUE(iconShown());
    // What the old shell held is gone with it.
    NOTIFYICONDATAA gone = data;
    gone.uFlags = 0;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &gone));
    ASSERT_FALSE(iconShown());
    SendMessageA(w.Hwnd(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_FALSE(IsWindowVisible(w.Hwnd()));

    const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    ASSERT_NE(taskbarCreated, 0u);
    DWORD_PTR answer = 1;
    ASSERT_TRUE(SendMessageTimeoutA(w.Hwnd(), taskbarCreated, 0, 0, SMTO_NORMAL, 5000, &answer));
    EXPECT_EQ(answer, 0u);
    EXPECT_TRUE(iconShown());
    EXPECT_TRUE(w.Dialog().TrayIconAdded());
    EXPECT_STREQ(w.Dialog().TrayTip(), "Veltrano-HD");
    // A double click on it brings the hidden window back.
    w.Pump(200);
    DoubleClickIcon(w, tray);
    EXPECT_TRUE(IsWindowVisible(w.Hwnd()));
    w.Shot("panel-icon-after-shell-restart");
}

BOOL CALLBACK CountPanelWindows(HWND h, LPARAM count) {
    char title[64] = {};
    GetWindowTextA(h, title, sizeof title);
    if (lstrcmpA(title, kControlPanelTitle) == 0) ++*reinterpret_cast<int*>(count);
    return TRUE;
}

// The program started again while a panel runs: it makes no window of its
// own, brings the running one to the front and ends. (Checked in this
// process: between two programs Wine's X11 focus handling soon hands the
// foreground back to the window it had, so the switch cannot be seen from
// outside.)
TEST_F(TrayPanel, SecondStartBringsTheRunningPanelForwardAndEnds) {
    PanelWindow w;
    HWND other = CreateWindowExA(0, "STATIC", "another program", WS_POPUP | WS_VISIBLE, 400, 100,
                                 200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    SetForegroundWindow(other);
    ASSERT_EQ(GetForegroundWindow(), other);

    CTarvoACPLUIApp second;
    EXPECT_EQ(second.Run(), 0);
    EXPECT_EQ(GetForegroundWindow(), w.Hwnd());
    int panels = 0;
    EnumWindows(CountPanelWindows, reinterpret_cast<LPARAM>(&panels));
    EXPECT_EQ(panels, 1);
    DestroyWindow(other);
}

}  // namespace
}  // namespace veltrano::cpl::test
