#include "cpl/app/remote_section.h"

#include <memory>
#include <new>

#include "cpl/app/main_dialog.h"
#include "cpl/remote/page_remote_ctrl.h"

namespace veltrano::cpl {
namespace {

// The page reaches the window's elements through the main dialog's skin
// surface, which outlives the section.
class RemoteSection final : public CPPageRemoteCtrlBase {
public:
    explicit RemoteSection(CTarvoACPLUIDlg& dialog) : m_page(&dialog, dialog.m_hWnd) {}
    int Init() override { return m_page.Init(); }
    void OpenNetworkSettings() override { m_page.OnNetworkSetting(); }
    void StartStopServer() override { m_page.OnServerToggle(); }

private:
    CPPageRemoteCtrl m_page;
};

CPPageRemoteCtrlBase* MakeRemoteSection(CTarvoACPLUIDlg& dialog) {
    return new (std::nothrow) RemoteSection(dialog);
}

}  // namespace

void UseRemoteControlPage() { SetRemoteSectionFactory(&MakeRemoteSection); }

}  // namespace veltrano::cpl
