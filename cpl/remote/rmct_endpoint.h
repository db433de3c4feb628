#pragma once
// The remote-control UDP service: one socket on every local address, one
// receive thread and a ring of eight 1024-byte slots. Every datagram of at
// most 992 bytes is handed to the target window with SendMessageA as
// WM_CPL_REMOTE_PACKET (wParam = slot index, lParam = slot address); the
// slot stays untouched until eight more datagrams arrived or the server
// stopped. Nothing received is interpreted.

#include <windows.h>

#include <cstdint>

#include "common/win_owners.h"
#include "cpl/common/cpl_messages.h"
#include "cpl/remote/nic_table.h"

struct RmctSession;

struct RmctEndpoint {
    HWND targetWindow = nullptr;
    // Chain of IP_ADAPTER_INFO records from the last EnumAdapters.
    veltrano::UniqueGlobalBytes adapterList;
    // Receive thread of the running server (null when stopped).
    veltrano::UniqueHandle thread;
    // What the receive thread shares with its owner; the last of the two to
    // let go frees it, so a stop never frees what the thread still uses.
    RmctSession* session = nullptr;
    // Set while StopServer waits; a nested start or stop from a handler that
    // runs during that wait is refused.
    bool stopping = false;
};

// A new stopped endpoint that delivers to `targetWindow`.
RmctEndpoint* CreateRmctEndpoint(HWND targetWindow);
// Stops the server and frees the adapter list and the record.
void DestroyRmctEndpoint(RmctEndpoint* endpoint);

// Binds a UDP socket to every local address on `port` (host order) and
// starts receiving. S_OK, or E_FAIL on any failure (the endpoint then stays
// stopped and a StopServer is harmless).
HRESULT StartServer(RmctEndpoint* endpoint, uint16_t port);

// Ends the receive thread and closes the socket. While it waits it handles
// messages sent to the calling thread, so a delivery to a window of this
// thread completes instead of deadlocking. A thread that has not ended after
// five seconds (blocked on a window of a thread that does not answer) is left
// to end on its own: it keeps what it uses and frees it itself. Safe on a
// stopped endpoint.
void StopServer(RmctEndpoint* endpoint);

bool RmctServerRunning(const RmctEndpoint* endpoint);

// The port the running server is bound to (host order), 0 when stopped.
uint16_t RmctBoundPort(const RmctEndpoint* endpoint);

// Index of the slot the next datagram goes to, 0..7 (0 when stopped).
int RmctNextSlot(const RmctEndpoint* endpoint);

// Number of sessions (ring, socket, thread state) alive in this process:
// each running server, and each left-behind thread that has not ended yet.
long RmctLiveSessions();

// Lists the machine's adapters into the endpoint's adapter list. TRUE with
// the chain length in *count, or FALSE (list released, *count 0).
BOOL EnumAdapters(RmctEndpoint* endpoint, int* count);

// Rebuilds `table` from EnumAdapters: adapters with an address, in the
// system's order, the first sixteen. With a combo box attached, each listed
// description is inserted at its table index.
void RefreshNicTable(RmctNicTable* table, RmctEndpoint* endpoint, HWND comboBox = nullptr);

// Sends `payload` once to the directed broadcast address of the subnet
// (mask and address in host order) on `port`. S_OK or E_FAIL.
HRESULT SendNotifyBroadcast(uint32_t mask, uint32_t address, uint16_t port, const char* payload,
                            int length);
