#pragma once
// What the main dialog asks of its section objects. The remote-control
// section is built elsewhere and plugged in through a factory, so the main
// dialog builds it exactly where its switch and the device allow.

#include <windows.h>

namespace veltrano::cpl {

class CTarvoACPLUIDlg;

class CPPageRemoteCtrlBase {
public:
    virtual ~CPPageRemoteCtrlBase() = default;
    virtual int Init() = 0;
    // BTN_RMCT_NETWORK_SET and BTN_RMCT_START_SVR.
    virtual void OpenNetworkSettings() = 0;
    virtual void StartStopServer() = 0;
};

// Makes the remote-control section for the dialog (null: none). Without a
// factory no remote-control section is built and its buttons stay hidden.
using RemoteSectionFactory = CPPageRemoteCtrlBase* (*)(CTarvoACPLUIDlg& dialog);
void SetRemoteSectionFactory(RemoteSectionFactory factory);
RemoteSectionFactory GetRemoteSectionFactory();

}  // namespace veltrano::cpl
