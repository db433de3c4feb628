#pragma once
// The notification-area icon: added with the tip "Veltrano-HD", its tip
// changed on device arrival and removal, deleted at shutdown.

#include <windows.h>
#include <shellapi.h>

namespace veltrano::cpl {

class TrayIcon {
public:
    TrayIcon() = default;
    ~TrayIcon() = default;
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // uID 50, callback message WM_CPL_TRAY, icon resource iconId.
    bool Add(HWND window, HINSTANCE instance, UINT iconId, const char* tip);
    bool SetTip(const char* tip);
    void Delete();
    // A new shell (after Explorer restarted) starts with an empty
    // notification area and announces itself with the registered message
    // "TaskbarCreated": an icon that was added is added again, with its
    // current tip.
    bool Restore();

    bool Added() const { return m_added; }
    const char* Tip() const { return m_data.szTip; }

private:
    HICON LoadIconResource() const;

    NOTIFYICONDATAA m_data{};
    HINSTANCE m_instance = nullptr;
    UINT m_iconId = 0;
    bool m_added = false;
};

// The registered "TaskbarCreated" message (0 when it cannot be registered).
// An elevated window is let to receive it from the unelevated shell.
UINT TaskbarCreatedMessage();
void AcceptTaskbarCreated(HWND window);

// The NOTIFYICONDATAA size the shell understands: the full version-5
// structure when shell32 reports a version above 4.x, the one without the
// balloon GUID and icon otherwise.
DWORD NotifyIconDataSize();

}  // namespace veltrano::cpl
