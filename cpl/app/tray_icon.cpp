#include "cpl/app/tray_icon.h"

#include <shlwapi.h>

#include <cstddef>

#include "cpl/common/cpl_messages.h"

namespace veltrano::cpl {
namespace {

constexpr UINT kTrayId = 50;

}  // namespace

DWORD NotifyIconDataSize() {
    // 488 and 508 bytes in 32-bit builds.
    DWORD size = static_cast<DWORD>(offsetof(NOTIFYICONDATAA, guidItem));
    HMODULE shell = LoadLibraryA("Shell32.dll");
    if (shell != nullptr) {
        auto getVersion =
            reinterpret_cast<DLLGETVERSIONPROC>(
            reinterpret_cast<void (*)()>(GetProcAddress(shell, "DllGetVersion")));
        DLLVERSIONINFO info{};
        info.cbSize = sizeof(info);
        if (getVersion != nullptr && SUCCEEDED(getVersion(&info)) &&
            ((info.dwMajorVersion << 16) | info.dwMinorVersion) > 0x4FFFF) {
            size = sizeof(NOTIFYICONDATAA);
        }
        FreeLibrary(shell);
    }
    return size;
}

UINT TaskbarCreatedMessage() {
    static const UINT message = RegisterWindowMessageA("TaskbarCreated");
    return message;
}

void AcceptTaskbarCreated(HWND window) {
    const UINT message = TaskbarCreatedMessage();
    if (message == 0) return;
    // The panel runs elevated; the shell does not, and its broadcast is
    // filtered out unless the window lets that one message in. The call
    // exists from Windows 7 on (Vista has only the per-process form);
    // earlier systems have no such filter.
    HMODULE user = GetModuleHandleA("user32.dll");
    if (user == nullptr) return;
    using FilterEx = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    using Filter = BOOL(WINAPI*)(UINT, DWORD);
    constexpr DWORD kAllow = 1;  // MSGFLT_ALLOW, MSGFLT_ADD
    if (auto filterEx = reinterpret_cast<FilterEx>(
            reinterpret_cast<void (*)()>(GetProcAddress(user, "ChangeWindowMessageFilterEx")))) {
        filterEx(window, message, kAllow, nullptr);
    } else if (auto filter = reinterpret_cast<Filter>(reinterpret_cast<void (*)()>(
                   GetProcAddress(user, "ChangeWindowMessageFilter")))) {
        filter(message, kAllow);
    }
}

HICON TrayIcon::LoadIconResource() const {
    return static_cast<HICON>(LoadImageA(m_instance, MAKEINTRESOURCEA(m_iconId), IMAGE_ICON,
                                         GetSystemMetrics(SM_CXSMICON),
                                         GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
}

bool TrayIcon::Add(HWND window, HINSTANCE instance, UINT iconId, const char* tip) {
    m_instance = instance;
    m_iconId = iconId;
    m_data = NOTIFYICONDATAA{};
    m_data.cbSize = NotifyIconDataSize();
    m_data.hWnd = window;
    m_data.uID = kTrayId;
    m_data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_data.uCallbackMessage = WM_CPL_TRAY;
    m_data.hIcon = LoadIconResource();
    lstrcpynA(m_data.szTip, tip, sizeof(m_data.szTip));
    const bool ok = Shell_NotifyIconA(NIM_ADD, &m_data) != FALSE;
    // The shell keeps its own copy of the icon.
    if (m_data.hIcon != nullptr) DestroyIcon(m_data.hIcon);
    m_data.hIcon = nullptr;
    m_added = true;
    return ok;
}

bool TrayIcon::SetTip(const char* tip) {
    m_data.hIcon = LoadIconResource();
    m_data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    lstrcpynA(m_data.szTip, tip, sizeof(m_data.szTip));
    const bool ok = Shell_NotifyIconA(NIM_MODIFY, &m_data) != FALSE;
    if (m_data.hIcon != nullptr) DestroyIcon(m_data.hIcon);
    m_data.hIcon = nullptr;
    return ok;
}

bool TrayIcon::Restore() {
    if (!m_added) return false;
    char tip[sizeof(m_data.szTip)];
    lstrcpynA(tip, m_data.szTip, sizeof(tip));
    if (Add(m_data.hWnd, m_instance, m_iconId, tip)) return true;
    // The shell may still hold it (the message came without a restart).
    return SetTip(tip);
}

void TrayIcon::Delete() {
    if (!m_added) return;
    m_data.uFlags = 0;
    Shell_NotifyIconA(NIM_DELETE, &m_data);
    m_added = false;
}

}  // namespace veltrano::cpl
