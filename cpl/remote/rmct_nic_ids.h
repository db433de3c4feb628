#pragma once
// Resource ids of the network settings dialog (shared by the .rc and code).

#define IDD_RMCT_NIC 139
#define IDC_RMCT_NIC_LIST 1000
#define IDC_RMCT_REFRESH 1001
#define IDC_RMCT_IPADDR 1002
#define IDC_RMCT_PORT 1003
#define IDC_RMCT_NOTIFY 1004
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
