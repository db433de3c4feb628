#pragma once
// "Network Setting (Remote Control)": the modal dialog in which the user picks
// the adapter the remote-control service uses and sees its port.

#include <windows.h>

#include "cpl/remote/nic_table.h"
#include "cpl/remote/rmct_endpoint.h"

class CRmctNic {
public:
    // `resources` holds dialog template 139 (null: the program itself).
    explicit CRmctNic(HWND mainWindow = nullptr, HINSTANCE resources = nullptr);
    ~CRmctNic();
    CRmctNic(const CRmctNic&) = delete;
    CRmctNic& operator=(const CRmctNic&) = delete;

    // Shows the dialog modally; IDOK, IDCANCEL, or -1 when it cannot be shown.
    INT_PTR DoModal(HWND parent);

    RmctNicTable& Table() { return table_; }
    RmctEndpoint* Endpoint() { return endpoint_; }

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void OnRefresh();
    void OnSelectionChange();
    void OnNotify();
    void OnOK();
    void ShowAddress(uint32_t networkOrder);
    uint16_t ReadPort() const;

    HINSTANCE resources_;
    RmctEndpoint* endpoint_;
    RmctNicTable table_;
    HWND hwnd_ = nullptr;
};
