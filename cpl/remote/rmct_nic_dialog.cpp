#include "cpl/remote/rmct_nic_dialog.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>

#include "cpl/remote/rmct_nic_ids.h"

namespace {

constexpr uint32_t kLoopbackHostOrder = 0x7F000001u;  // 127.0.0.1

}  // namespace

CRmctNic::CRmctNic(HWND mainWindow, HINSTANCE resources)
    : resources_(resources != nullptr ? resources : GetModuleHandleA(nullptr)),
      endpoint_(CreateRmctEndpoint(mainWindow)) {
    rmct::InitNicTable(table_, rmct::kDefaultPort);
}

CRmctNic::~CRmctNic() { DestroyRmctEndpoint(endpoint_); }

INT_PTR CRmctNic::DoModal(HWND parent) {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_INTERNET_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    return DialogBoxParamA(resources_, MAKEINTRESOURCEA(IDD_RMCT_NIC), parent, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CRmctNic::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CRmctNic* self = reinterpret_cast<CRmctNic*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CRmctNic*>(lParam);
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        self->hwnd_ = hwnd;
        self->OnInitDialog();
        return TRUE;
    }
    if (self == nullptr) return FALSE;
    if (message == WM_COMMAND) {
        const WORD id = LOWORD(wParam);
        const WORD code = HIWORD(wParam);
        if (id == IDC_RMCT_NIC_LIST && code == CBN_SELCHANGE) {
            self->OnSelectionChange();
        } else if (id == IDC_RMCT_REFRESH && code == BN_CLICKED) {
            self->OnRefresh();
        } else if (id == IDC_RMCT_NOTIFY && code == BN_CLICKED) {
            self->OnNotify();
        } else if (id == IDOK) {
            self->OnOK();
        } else if (id == IDCANCEL) {
            EndDialog(hwnd, IDCANCEL);
        } else {
            return FALSE;
        }
        return TRUE;
    }
    if (message == WM_DESTROY) self->hwnd_ = nullptr;
    return FALSE;
}

void CRmctNic::OnInitDialog() {
    const HWND combo = GetDlgItem(hwnd_, IDC_RMCT_NIC_LIST);
    const int count = table_.count < 0
                          ? 0
                          : (table_.count > rmct::kMaxAdapters ? rmct::kMaxAdapters : table_.count);
    for (int i = 0; i < count; ++i)
        SendMessageA(combo, CB_INSERTSTRING, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(table_.description[i]));

    const LRESULT items = SendMessageA(combo, CB_GETCOUNT, 0, 0);
    bool shown = false;
    if (table_.selected >= 0 && table_.selected < items) {
        SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(table_.selected), 0);
        const LRESULT current = SendMessageA(combo, CB_GETCURSEL, 0, 0);
        if (current >= 0 && current < count) {
            table_.selected = static_cast<int32_t>(current);
            ShowAddress(table_.address[current]);
            shown = true;
        }
    }
    if (!shown) ShowAddress(rmct::HostToNetwork(kLoopbackHostOrder));

    char text[16];
    std::snprintf(text, sizeof(text), "%d", static_cast<int>(static_cast<int16_t>(table_.port)));
    SetDlgItemTextA(hwnd_, IDC_RMCT_PORT, text);
}

void CRmctNic::OnRefresh() {
    if (endpoint_ == nullptr) return;
    const HWND combo = GetDlgItem(hwnd_, IDC_RMCT_NIC_LIST);
    SendMessageA(combo, CB_RESETCONTENT, 0, 0);
    RefreshNicTable(&table_, endpoint_, combo);
    if (SendMessageA(combo, CB_GETCOUNT, 0, 0) <= 0) {
        ShowAddress(rmct::HostToNetwork(kLoopbackHostOrder));
        return;
    }
    SendMessageA(combo, CB_SETCURSEL, 0, 0);
    OnSelectionChange();
}

void CRmctNic::OnSelectionChange() {
    const HWND combo = GetDlgItem(hwnd_, IDC_RMCT_NIC_LIST);
    if (SendMessageA(combo, CB_GETCOUNT, 0, 0) <= 0) {
        ShowAddress(rmct::HostToNetwork(kLoopbackHostOrder));
        return;
    }
    // The list only ever holds table entries; a selection outside the table
    // (nothing selected) leaves the choice as it was.
    const LRESULT current = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    if (current < 0 || current >= table_.count) return;
    table_.selected = static_cast<int32_t>(current);
    ShowAddress(table_.address[current]);
}

void CRmctNic::OnNotify() {
    const HWND button = GetDlgItem(hwnd_, IDC_RMCT_NOTIFY);
    EnableWindow(button, FALSE);
    if (endpoint_ != nullptr) {
        const int i = table_.selected;
        const bool valid = i >= 0 && i < rmct::kMaxAdapters;
        const uint32_t mask = valid ? rmct::NetworkToHost(table_.mask[i]) : 0;
        const uint32_t address = valid ? rmct::NetworkToHost(table_.address[i]) : 0;
        SendNotifyBroadcast(mask, address, ReadPort(), rmct::kNotifyText, rmct::kNotifyLength);
    }
    EnableWindow(button, TRUE);
}

void CRmctNic::OnOK() {
    table_.port = ReadPort();
    EndDialog(hwnd_, IDOK);
}

void CRmctNic::ShowAddress(uint32_t networkOrder) {
    SendDlgItemMessageA(hwnd_, IDC_RMCT_IPADDR, IPM_SETADDRESS, 0,
                        static_cast<LPARAM>(rmct::NetworkToHost(networkOrder)));
}

uint16_t CRmctNic::ReadPort() const {
    char text[32] = {};
    GetDlgItemTextA(hwnd_, IDC_RMCT_PORT, text, sizeof(text));
    // strtol, unlike atoi, has a defined result for any text.
    return static_cast<uint16_t>(std::strtol(text, nullptr, 10) & 0xFFFF);
}
