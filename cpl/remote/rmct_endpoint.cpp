// Winsock must come before any other Windows header.
// clang-format off
#include <winsock2.h>
// clang-format on

#include "cpl/remote/rmct_endpoint.h"

#include <climits>
#include <cstring>
#include <new>

#include "common/socket_owners.h"
#include "common/win_owners.h"

// What the receive thread uses. Owned jointly by the endpoint and the thread;
// the last one to release it closes the socket, ends its Winsock use and
// frees the ring (the members go in that order).
struct RmctSession {
    volatile LONG refs = 1;
    volatile LONG running = 0;
    volatile LONG nextSlot = 0;
    HWND target = nullptr;
    veltrano::UniqueGlobalBytes ring;
    veltrano::UniqueWinsockUse winsock;
    veltrano::UniqueHandle stopEvent;
    veltrano::UniqueWsaEvent readEvent;
    veltrano::UniqueSocket socket;
    // Where each datagram is read first. Only a datagram that is delivered
    // reaches a ring slot, so a slot keeps its contents until the datagram
    // that reuses it (an oversized or failed read leaves the ring alone).
    BYTE staging[rmct::kSlotSize];
};

namespace {

volatile LONG g_liveSessions = 0;

RmctSession* NewSession(HWND target) {
    RmctSession* s = new (std::nothrow) RmctSession;
    if (s == nullptr) return nullptr;
    s->target = target;
    InterlockedIncrement(&g_liveSessions);
    return s;
}

void ReleaseSession(RmctSession* s) {
    if (InterlockedDecrement(&s->refs) != 0) return;
    delete s;
    InterlockedDecrement(&g_liveSessions);
}

// The socket is non-blocking (event-selected), so a stop never depends on a
// blocked receive failing: the thread waits on the read event and the stop
// event together and closes nothing the owner might still hold.
DWORD WINAPI ReceiveLoop(void* param) {
    RmctSession* s = static_cast<RmctSession*>(param);
    int faults = 0;
    while (s->running != 0) {
        std::memset(s->staging, 0, sizeof(s->staging));
        WSAResetEvent(s->readEvent.get());
        int fromLength = 16;
        const int got =
            recvfrom(s->socket.get(), reinterpret_cast<char*>(s->staging + rmct::kPayloadOffset),
                     static_cast<int>(rmct::kMaxPayload), 0,
                     reinterpret_cast<sockaddr*>(s->staging), &fromLength);
        if (got != SOCKET_ERROR) {
            faults = 0;
            if (s->running == 0) break;
            const LONG index = s->nextSlot;
            BYTE* slot = s->ring.get() + static_cast<size_t>(index) * rmct::kSlotSize;
            std::memcpy(slot, s->staging, rmct::kSlotSize);
            SendMessageA(s->target, veltrano::cpl::WM_CPL_REMOTE_PACKET, static_cast<WPARAM>(index),
                         reinterpret_cast<LPARAM>(slot));
            s->nextSlot = (index + 1) % static_cast<LONG>(rmct::kSlotCount);
            continue;
        }
        const int error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK) {
            faults = 0;
            HANDLE events[2] = {s->stopEvent.get(), s->readEvent.get()};
            WaitForMultipleObjects(2, events, FALSE, INFINITE);
            continue;
        }
        // An oversized datagram is dropped by the system and the next one is
        // read normally. Any other fault that keeps repeating must not spin a
        // core while the socket is unusable.
        if (error != WSAEMSGSIZE && ++faults > 8) WaitForSingleObject(s->stopEvent.get(), 10);
    }
    ReleaseSession(s);
    return 0;
}

// Waits for the thread while handling messages sent to this thread, so that
// a delivery to one of its windows runs instead of blocking both sides.
bool WaitHandlingSentMessages(HANDLE thread, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
        const DWORD r =
            MsgWaitForMultipleObjects(1, &thread, FALSE, timeoutMs - elapsed, QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0) return true;
        if (r != WAIT_OBJECT_0 + 1) return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
    }
}

}  // namespace

RmctEndpoint* CreateRmctEndpoint(HWND targetWindow) {
    RmctEndpoint* e = new (std::nothrow) RmctEndpoint;
    if (e != nullptr) e->targetWindow = targetWindow;
    return e;
}

void DestroyRmctEndpoint(RmctEndpoint* endpoint) {
    if (endpoint == nullptr) return;
    StopServer(endpoint);
    delete endpoint;
}

HRESULT StartServer(RmctEndpoint* endpoint, uint16_t port) {
    if (endpoint == nullptr || endpoint->session != nullptr || endpoint->stopping) return E_FAIL;
    RmctSession* s = NewSession(endpoint->targetWindow);
    if (s == nullptr) return E_FAIL;

    s->ring.Reset(static_cast<BYTE*>(GlobalAlloc(GPTR, rmct::kRingSize)));
    WSADATA wsa;
    if (!s->ring || WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        ReleaseSession(s);
        return E_FAIL;
    }
    s->winsock.Reset(true);
    s->socket.Reset(socket(AF_INET, SOCK_DGRAM, 0));
    if (!s->socket) {
        ReleaseSession(s);
        return E_FAIL;
    }

    // A larger receive buffer holds bursts while a delivery waits for the
    // window; whether the system grants it does not matter.
    int size = 0;
    int sizeLength = sizeof(size);
    if (getsockopt(s->socket.get(), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&size),
                   &sizeLength) == 0 &&
        size > 0 && size <= INT_MAX / 10) {
        size *= 10;
        setsockopt(s->socket.get(), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size),
                   sizeof(size));
    }

    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(port);
    if (bind(s->socket.get(), reinterpret_cast<const sockaddr*>(&local), sizeof(local)) ==
        SOCKET_ERROR) {
        ReleaseSession(s);
        return E_FAIL;
    }
    s->readEvent.Reset(WSACreateEvent());
    s->stopEvent.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!s->readEvent || !s->stopEvent ||
        WSAEventSelect(s->socket.get(), s->readEvent.get(), FD_READ) == SOCKET_ERROR) {
        ReleaseSession(s);
        return E_FAIL;
    }

    s->running = 1;
    s->refs = 2;  // the thread's share
    HANDLE thread = CreateThread(nullptr, 0, ReceiveLoop, s, 0, nullptr);
    if (thread == nullptr) {
        s->running = 0;
        s->refs = 1;
        ReleaseSession(s);
        return E_FAIL;
    }
    endpoint->session = s;
    endpoint->thread.Reset(thread);
    return S_OK;
}

void StopServer(RmctEndpoint* endpoint) {
    if (endpoint == nullptr || endpoint->stopping || endpoint->session == nullptr) return;
    endpoint->stopping = true;
    RmctSession* s = endpoint->session;
    InterlockedExchange(&s->running, 0);
    SetEvent(s->stopEvent.get());
    if (endpoint->thread) {
        // Past the wait the thread, if still alive, holds its own share of the
        // session and frees it when SendMessageA finally returns.
        WaitHandlingSentMessages(endpoint->thread.get(), 5000);
        endpoint->thread.Reset();
    }
    endpoint->session = nullptr;
    ReleaseSession(s);
    endpoint->stopping = false;
}

bool RmctServerRunning(const RmctEndpoint* endpoint) {
    return endpoint != nullptr && endpoint->session != nullptr;
}

uint16_t RmctBoundPort(const RmctEndpoint* endpoint) {
    if (!RmctServerRunning(endpoint)) return 0;
    sockaddr_in local = {};
    int length = sizeof(local);
    if (getsockname(endpoint->session->socket.get(), reinterpret_cast<sockaddr*>(&local),
                    &length) != 0)
        return 0;
    return ntohs(local.sin_port);
}

int RmctNextSlot(const RmctEndpoint* endpoint) {
    return RmctServerRunning(endpoint) ? static_cast<int>(endpoint->session->nextSlot) : 0;
}

long RmctLiveSessions() { return InterlockedCompareExchange(&g_liveSessions, 0, 0); }
