#include "cpl/app/main_dialog.h"

#include <new>

#include "common/contract/panel_window.h"
#include "cpl/app/page_asio.h"
#include "cpl/app/page_endpoint.h"
#include "cpl/app/panel_tables.h"
#include "cpl/common/cpl_messages.h"
#include "cpl/remote/page_remote_ctrl.h"
#include "platform/device_notify.h"
#include "platform/os_version.h"

namespace veltrano::cpl {
namespace {

constexpr DWORD kShutdownDelayMs = 500;

}  // namespace

CTarvoACPLUIDlg::CTarvoACPLUIDlg() : skin::CSkinDialog(IDD_CPL_MAIN) {
    m_icon = static_cast<HICON>(
        LoadImageA(skin::SkinResourceInstance(), MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON, 0,
                   0, LR_DEFAULTSIZE | LR_SHARED));
}

CTarvoACPLUIDlg::~CTarvoACPLUIDlg() { Shutdown(); }

BOOL CTarvoACPLUIDlg::OnInitDialog() {
    CSkinDialog::OnInitDialog();
    ResetVisibility();

    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon));
    SetWindowText(kControlPanelTitle);

    if (!platform::ReadOsKind(OsTable::ControlPanel, &m_os)) m_os = OsKind{4, 1, 7601};
    m_win10_1703 = m_os.kind >= 10 && m_os.build >= kBuildWindows10Version1703;
    OutputDebugStringA(m_win10_1703 ? "[kest CPL]win10 1703" : "[kest CPL]not win10 1703");

    m_endpointData.endpoints.reset(new (std::nothrow) AudioEndpointSet(m_hWnd));

    m_presence = Presence{};
    m_vendorId = m_productId = 0;
    m_endpointData.playRateMask = m_endpointData.playBitsMask = 0;
    m_endpointData.recRateMask = m_endpointData.recBitsMask = 0;
    m_playGang = m_recGang = false;
    if (DetectEndpoints()) ProbeKsCapabilities();
    if (!IsCoreAudioKind(m_os.kind)) m_presence.asio = ProbeKsPresence();

    DeleteSections();
    m_arrivalPending = false;
    m_retry = false;
    m_retryCountdown = 0;

    ReadSectionSwitches();
    BuildSections();
    m_tray.Add(m_hWnd, skin::SkinResourceInstance(), IDR_MAINFRAME, "Veltrano-HD");
    AcceptTaskbarCreated(m_hWnd);
    RegisterDeviceChanges();
    SetTimer(m_hWnd, TIMER_CPL_POLL, kPollPeriodMs, nullptr);
    return TRUE;
}

LRESULT CTarvoACPLUIDlg::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    // The shell restarted and lost every icon: without ours again a panel
    // hidden to the notification area could not be reached.
    if (msg == TaskbarCreatedMessage() && msg != 0) {
        if (!m_shutDown) m_tray.Restore();
        return 0;
    }
    switch (msg) {
        case WM_PAINT:
            if (IsIconic(m_hWnd)) {
                PaintIconic();
                return 0;
            }
            break;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<LRESULT>(m_icon);
        case WM_DEVICECHANGE:
            return OnDeviceChange(wParam, lParam);
        case WM_TIMER:
            if (wParam == TIMER_CPL_POLL) OnPollTick();
            break;
        case WM_CPL_VOLUME_CHANGED: {
            SectionCall call(*this);
            if (m_play) {
                m_play->RefreshSliders();
                m_play->RefreshMute();
            }
            if (m_record) {
                m_record->RefreshSliders();
                m_record->RefreshMute();
            }
            return 0;
        }
        case WM_CPL_DEVICE_ACTIVE:
            OnDeviceActive();
            return 0;
        case WM_CPL_PLAY_FORMAT_CHANGED: {
            SectionCall call(*this);
            if (m_play) m_play->SelectFromFormat();
            return 0;
        }
        case WM_CPL_REC_FORMAT_CHANGED: {
            SectionCall call(*this);
            if (m_record) m_record->RefreshFrom(static_cast<int>(wParam));
            return 0;
        }
        case WM_CPL_REMOTE_PACKET:
            return 0;
        case WM_CPL_TRAY:
            OnTray(lParam);
            return 0;
        case WM_COMMAND:
            if (OnCommand(LOWORD(wParam))) return 0;
            break;
        case WM_SYSCOMMAND:
            // The window never goes to the taskbar: minimising hides it in
            // the notification area.
            if ((wParam & 0xFFF0) == SC_MINIMIZE) {
                ShowWindow(SW_HIDE);
                return 1;
            }
            break;
        case WM_DESTROY:
            Shutdown();
            break;
        default:
            break;
    }
    return CSkinDialog::WindowProc(msg, wParam, lParam);
}

bool CTarvoACPLUIDlg::OnCommand(UINT id) {
    switch (id) {
        case IDOK:
        case ID_TRAY_EXIT:
        case ID_CPL_EXIT:
            EndDialog(IDOK);
            return true;
        case ID_TRAY_SHOW:
            ShowWindow(SW_RESTORE);
            return true;
        case ID_TRAY_HIDE:
            ShowWindow(SW_HIDE);
            return true;
        case ID_CPL_SHOW_ASIO: {
            SectionCall call(*this);
            ShowAsio();
            return true;
        }
        case ID_CPL_REFRESH_ASIO: {
            SectionCall call(*this);
            if (m_asio) m_asio->Refresh();
            return true;
        }
        default:
            return false;
    }
}

void CTarvoACPLUIDlg::ShowAsio() {
    ShowWindow(SW_SHOWNORMAL);
    // Topmost and back: to the front without staying above everything.
    SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetWindowPos(m_hWnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    if (m_asio) m_asio->Refresh();
    SendMessage(WM_COMMAND, ID_CPL_REFRESH_ASIO, 0);
}

void CTarvoACPLUIDlg::OnTray(LPARAM mouse) {
    if (mouse == WM_LBUTTONDBLCLK) {
        ShowWindow(SW_RESTORE);
        return;
    }
    if (mouse != WM_RBUTTONDOWN && mouse != WM_CONTEXTMENU) return;
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr) return;
    if (IsWindowVisible()) {
        AppendMenuA(menu, MF_STRING, ID_TRAY_HIDE, "Hide");
    } else {
        AppendMenuA(menu, MF_STRING, ID_TRAY_SHOW, "Show");
    }
    AppendMenuA(menu, MF_STRING, ID_TRAY_EXIT, "Exit");
    POINT cursor{};
    GetCursorPos(&cursor);
    SetForegroundWindow(m_hWnd);
    TrackPopupMenu(menu, TPM_BOTTOMALIGN, cursor.x, cursor.y, 0, m_hWnd, nullptr);
    // Lets the menu close when the user clicks elsewhere next time.
    PostMessageA(m_hWnd, WM_NULL, 0, 0);
    DestroyMenu(menu);
}

void CTarvoACPLUIDlg::PaintIconic() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client{};
    GetClientRect(&client);
    const int cx = GetSystemMetrics(SM_CXICON);
    const int cy = GetSystemMetrics(SM_CYICON);
    DrawIcon(dc, (client.right - client.left - cx + 1) / 2, (client.bottom - client.top - cy + 1) / 2,
             m_icon);
    EndPaint(m_hWnd, &ps);
}

void CTarvoACPLUIDlg::Shutdown() {
    if (m_shutDown || m_hWnd == nullptr) return;
    m_shutDown = true;
    KillTimer(m_hWnd, TIMER_CPL_POLL);
    SleepEx(kShutdownDelayMs, FALSE);
    if (m_deviceNotify != nullptr) {
        platform::UnregisterDeviceNotification(m_deviceNotify);
        m_deviceNotify = nullptr;
    }
    m_tray.Delete();
    DeleteSections();
    if (m_endpointData.endpoints) {
        ResetEndpointsIfProbed();
        m_endpointData.endpoints->Reset();
        m_endpointData.endpoints.reset();  // releases the Player
    }
}

}  // namespace veltrano::cpl
