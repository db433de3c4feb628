#include "cpl/app/app.h"

#include <commctrl.h>

#include "common/contract/panel_window.h"
#include "cpl/app/main_dialog.h"

namespace veltrano::cpl {

int CTarvoACPLUIApp::Run() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = 0xFF;
    InitCommonControlsEx(&controls);

    if (HWND running = FindWindowA(nullptr, kControlPanelTitle)) {
        SetForegroundWindow(running);
        return 0;
    }
    CTarvoACPLUIDlg dialog;
    dialog.DoModal();
    // The dialog's shutdown has removed the notification-area icon; the
    // object's destructor releases the rest.
    return 0;
}

}  // namespace veltrano::cpl
