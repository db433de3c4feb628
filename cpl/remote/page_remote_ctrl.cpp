#include "cpl/remote/page_remote_ctrl.h"

#include "cpl/remote/rmct_nic_dialog.h"

CPPageRemoteCtrl::CPPageRemoteCtrl(skin::SkinSurface* owner, HWND mainWindow, HINSTANCE resources)
    : owner_(owner),
      mainWindow_(mainWindow),
      resources_(resources),
      endpoint_(CreateRmctEndpoint(mainWindow)) {
    rmct::InitNicTable(table_, 0);
}

CPPageRemoteCtrl::~CPPageRemoteCtrl() {
    if (serverStarted_) {
        StopServer(endpoint_);
        serverStarted_ = false;
    }
    DestroyRmctEndpoint(endpoint_);
}

BOOL CPPageRemoteCtrl::Init() {
    CRmctNic dialog(mainWindow_, resources_);
    RefreshNicTable(&dialog.Table(), dialog.Endpoint());
    rmct::CopyTableOut(dialog.Table(), table_);
    if (owner_ != nullptr) UpdateLocalAddressLabel();
    return TRUE;
}

void CPPageRemoteCtrl::OnNetworkSetting() {
    CRmctNic dialog(mainWindow_, resources_);
    rmct::CopyTableIn(table_, dialog.Table());
    if (dialog.DoModal(mainWindow_) != IDOK) return;
    rmct::CopyTableOut(dialog.Table(), table_);
    if (owner_ != nullptr) UpdateLocalAddressLabel();
}

void CPPageRemoteCtrl::OnServerToggle() {
    if (endpoint_ == nullptr) return;
    if (owner_ != nullptr) owner_->EnableButton(kRmctStartServerButton, FALSE);
    if (serverStarted_) {
        StopServer(endpoint_);
        serverStarted_ = false;
        if (owner_ != nullptr) {
            owner_->SetButtonCheck(kRmctStartServerButton, FALSE);
            owner_->ShowLabel(kRmctRemoteIpLabel, FALSE);
        }
    } else if (SUCCEEDED(StartServer(endpoint_, table_.port))) {
        serverStarted_ = true;
        if (owner_ != nullptr) owner_->SetButtonCheck(kRmctStartServerButton, TRUE);
    } else {
        StopServer(endpoint_);
    }
    if (owner_ != nullptr) owner_->EnableButton(kRmctStartServerButton, TRUE);
}

void CPPageRemoteCtrl::UpdateLocalAddressLabel() {
    char text[16];
    if (rmct::SelectedAddressText(table_, text, sizeof(text))) {
        owner_->SetLabelText(kRmctLocalIpLabel, text);
        owner_->ShowLabel(kRmctLocalIpLabel, TRUE);
    } else {
        owner_->ShowLabel(kRmctLocalIpLabel, FALSE);
    }
}
