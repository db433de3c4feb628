#pragma once
// The control panel's main window in the test process, over the virtual
// device: opened modeless, driven with real mouse input, looked at through
// its child windows and the skin's latched state, and photographed.

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "common/os_kind.h"
#include "cpl/app/main_dialog.h"

namespace veltrano::cpl::test {

// Writes (or, with a negative value, deletes) the section switches under
// the package key.
void SetSwitch(const char* name, long value);
void SetSwitches(long playRec, long asioDrv, long rmtCtrl);

// A Windows 10 workstation on x64, a core-audio system.
OsVersionFacts Windows10Workstation();
// The virtual device as new, on a system that pretends to be `os`, with the
// default virtual endpoints.
void FreshVirtualSystem(const OsVersionFacts& os);

class PanelWindow {
public:
    PanelWindow();
    ~PanelWindow();

    CTarvoACPLUIDlg& Dialog() { return *m_dialog; }
    HWND Hwnd() const { return m_dialog->m_hWnd; }

    // Handles messages for at least ms milliseconds.
    void Pump(DWORD ms);
    // Handles messages until done() holds; false when it did not within
    // maxTicks poll ticks of the window (ticks counted as they are handled).
    bool PumpUntil(const std::function<bool()>& done, int maxTicks, int* ticks = nullptr);

    // What a user sees: the element's window is shown (its parent too).
    bool Visible(const char* name) const;
    bool Latched(const char* name) const;
    std::string LabelText(const char* name) const;
    HWND Element(const char* name) const;

    // A left click with the mouse in the middle of a button.
    void Click(const char* name);
    // Screenshot into the build's screenshots folder.
    void Shot(const std::string& name);

private:
    std::unique_ptr<CTarvoACPLUIDlg> m_dialog;
};

}  // namespace veltrano::cpl::test
