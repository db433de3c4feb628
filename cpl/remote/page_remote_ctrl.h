#pragma once
// The remote-control page of the control panel. Not a window: it drives the
// main dialog's BTN_RMCT_START_SVR, TXT_LOCAL_IP and TXT_REMOTE_IP by name,
// owns the UDP service endpoint and the adapter table, and opens the
// network settings dialog.

#include <windows.h>

#include "cpl/remote/nic_table.h"
#include "cpl/remote/rmct_endpoint.h"
#include "cpl/skin/skin_surface.h"

inline constexpr char kRmctNetworkSetButton[] = "BTN_RMCT_NETWORK_SET";
inline constexpr char kRmctStartServerButton[] = "BTN_RMCT_START_SVR";
inline constexpr char kRmctLocalIpLabel[] = "TXT_LOCAL_IP";
inline constexpr char kRmctRemoteIpLabel[] = "TXT_REMOTE_IP";

class CPPageRemoteCtrl {
public:
    // `owner` may be null (no element is touched). Datagrams go to
    // `mainWindow`; `resources` holds the dialog template (null: the program).
    CPPageRemoteCtrl(skin::SkinSurface* owner, HWND mainWindow, HINSTANCE resources = nullptr);
    virtual ~CPPageRemoteCtrl();
    CPPageRemoteCtrl(const CPPageRemoteCtrl&) = delete;
    CPPageRemoteCtrl& operator=(const CPPageRemoteCtrl&) = delete;

    virtual const char* ClassName() const { return "CPPageRemoteCtrl"; }
    // Lists the adapters, selects the first, port 5566. Returns TRUE.
    virtual BOOL Init();

    // BTN_RMCT_NETWORK_SET: the modal network settings dialog.
    void OnNetworkSetting();
    // BTN_RMCT_START_SVR: starts or stops the service.
    void OnServerToggle();

    bool ServerStarted() const { return serverStarted_; }
    const RmctNicTable& Table() const { return table_; }
    RmctEndpoint* Endpoint() { return endpoint_; }

private:
    void UpdateLocalAddressLabel();

    skin::SkinSurface* owner_;
    HWND mainWindow_;
    HINSTANCE resources_;
    RmctEndpoint* endpoint_;
    bool serverStarted_ = false;
    RmctNicTable table_;
};
