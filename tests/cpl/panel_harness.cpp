#include "cpl/panel_harness.h"

#include <gtest/gtest.h>

#include "common/contract/registry_key.h"
#include "cpl/common/cpl_messages.h"
#include "sim/audio/virtual_audio.h"
#include "sim/os/os_pretend.h"
#include "sim/sim.h"
#include "support/real_input.h"
#include "support/screenshot.h"

namespace veltrano::cpl::test {

void SetSwitch(const char* name, long value) {
    const auto key = veltrano::RegistryKey::Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veltrano\\Veltrano-HD");
    ASSERT_TRUE(key);
    if (value < 0) {
        RegDeleteValueA(key.Get(), name);
    } else {
        ASSERT_TRUE(key.WriteDword(name, static_cast<uint32_t>(value)));
    }
}

void SetSwitches(long playRec, long asioDrv, long rmtCtrl) {
    SetSwitch("PlayRecPP", playRec);
    SetSwitch("AsioDrvPP", asioDrv);
    SetSwitch("RmtCtrlPP", rmtCtrl);
}

OsVersionFacts Windows10Workstation() {
    OsVersionFacts facts;
    facts.major = 10;
    facts.build = 19045;
    facts.processorArchitecture = 9;
    return facts;
}

void FreshVirtualSystem(const OsVersionFacts& os) {
    ::sim::PretendOs(os);
    ::sim::Reset();
    veltrano::sim::ConfigureVirtualAudio(veltrano::sim::VirtualAudioConfig{});
}

PanelWindow::PanelWindow() : m_dialog(new CTarvoACPLUIDlg) {
    EXPECT_TRUE(m_dialog->Create());
    SetForegroundWindow(m_dialog->m_hWnd);
    Pump(200);
}

PanelWindow::~PanelWindow() {
    if (m_dialog->m_hWnd != nullptr) m_dialog->DestroyWindow();
    Pump(50);
    m_dialog.reset();
}

void PanelWindow::Pump(DWORD ms) {
    const DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    } while (GetTickCount() - start < ms);
}

bool PanelWindow::PumpUntil(const std::function<bool()>& done, int maxTicks, int* ticks) {
    int seen = 0;
    // A bound in time as well, for a window whose timer never runs.
    const DWORD start = GetTickCount();
    while (!done()) {
        if (seen > maxTicks || GetTickCount() - start > 60000) {
            if (ticks != nullptr) *ticks = seen;
            return false;
        }
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_TIMER && msg.hwnd == m_dialog->m_hWnd &&
                msg.wParam == TIMER_CPL_POLL) {
                ++seen;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            if (done()) break;
        }
        if (!done()) MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    if (ticks != nullptr) *ticks = seen;
    return seen <= maxTicks;
}

HWND PanelWindow::Element(const char* name) const {
    if (auto* b = m_dialog->FindButton(name)) return b->m_hWnd;
    if (auto* l = m_dialog->FindLabel(name)) return l->m_hWnd;
    if (auto* s = m_dialog->FindSlider(name)) return s->m_hWnd;
    return nullptr;
}

bool PanelWindow::Visible(const char* name) const {
    HWND h = Element(name);
    EXPECT_NE(h, nullptr) << name;
    return h != nullptr && IsWindowVisible(h);
}

bool PanelWindow::Latched(const char* name) const {
    EXPECT_NE(m_dialog->FindButton(name), nullptr) << name;
    return m_dialog->GetButtonCheck(name) != 0;
}

std::string PanelWindow::LabelText(const char* name) const {
    char text[300] = {};
    GetWindowTextA(Element(name), text, sizeof text);
    return text;
}

void PanelWindow::Click(const char* name) {
    HWND h = Element(name);
    ASSERT_NE(h, nullptr) << name;
    ASSERT_TRUE(IsWindowVisible(h)) << name << " is not there to click";
    SetForegroundWindow(m_dialog->m_hWnd);
    veltrano::test::PointAt(h);
    Pump(30);
    veltrano::test::SendMouseButton(MOUSEEVENTF_LEFTDOWN);
    Pump(40);
    veltrano::test::SendMouseButton(MOUSEEVENTF_LEFTUP);
    Pump(150);
}

void PanelWindow::Shot(const std::string& name) {
    // The pointer leaves the window, as a user's hand does before looking,
    // so the picture holds no hover frame or tooltip left by the last click.
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    Pump(600);
    EXPECT_TRUE(veltrano::test::SaveWindowPng(m_dialog->m_hWnd, veltrano::test::ScreenshotPath(name)))
        << name;
}

}  // namespace veltrano::cpl::test
