// The device seam of the latency measurement: the virtual device, with every
// stream write's completion relayed through a thread that takes its time
// before signalling the driver's event. The driver then sees the
// completion exactly when it is timestamped.

#include "relay_platform.h"

#include <atomic>
#include <vector>

#include "platform/ks_device.h"
#include "sim/device_api.h"

namespace latency {
namespace {

constexpr int kMaxRelays = 32;

struct Relay {
    OVERLAPPED own{};
    OVERLAPPED* driver = nullptr;
};

struct State {
    CRITICAL_SECTION lock;
    Relay relays[kMaxRelays];
    int count = 0;
    HANDLE changed = nullptr;
    HANDLE thread = nullptr;
    std::vector<LARGE_INTEGER>* completions = nullptr;
    std::atomic<size_t> completed{0};
    State() {
        InitializeCriticalSection(&lock);
        changed = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    }
};

State& Get() {
    static State state;
    return state;
}

DWORD WINAPI Monitor(void*) {
    State& s = Get();
    HANDLE handles[kMaxRelays + 1];
    Relay* relays[kMaxRelays + 1];
    for (;;) {
        DWORD n = 0;
        handles[n++] = s.changed;
        EnterCriticalSection(&s.lock);
        for (int i = 0; i < s.count; ++i) {
            relays[n] = &s.relays[i];
            handles[n++] = s.relays[i].own.hEvent;
        }
        LeaveCriticalSection(&s.lock);
        for (;;) {
            const DWORD w = WaitForMultipleObjects(n, handles, FALSE, INFINITE);
            if (w == WAIT_OBJECT_0) break;
            if (w >= WAIT_OBJECT_0 + n) return 0;
            Relay* relay = relays[w - WAIT_OBJECT_0];
            LARGE_INTEGER now;
            QueryPerformanceCounter(&now);
            const size_t k = s.completed.fetch_add(1);
            if (s.completions != nullptr && k < s.completions->size()) (*s.completions)[k] = now;
            relay->driver->Internal = relay->own.Internal;
            relay->driver->InternalHigh = relay->own.InternalHigh;
            const auto event = reinterpret_cast<HANDLE>(
                reinterpret_cast<uintptr_t>(relay->driver->hEvent) & ~static_cast<uintptr_t>(1));
            SetEvent(event);
        }
    }
}

Relay* FindRelay(OVERLAPPED* driver) {
    State& s = Get();
    EnterCriticalSection(&s.lock);
    Relay* found = nullptr;
    for (int i = 0; i < s.count && found == nullptr; ++i) {
        if (s.relays[i].driver == driver) found = &s.relays[i];
    }
    LeaveCriticalSection(&s.lock);
    return found;
}

Relay* RelayFor(OVERLAPPED* driver) {
    State& s = Get();
    EnterCriticalSection(&s.lock);
    Relay* found = nullptr;
    for (int i = 0; i < s.count && found == nullptr; ++i) {
        if (s.relays[i].driver == driver) found = &s.relays[i];
    }
    if (found == nullptr && s.count < kMaxRelays) {
        found = &s.relays[s.count++];
        found->driver = driver;
        found->own.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        SetEvent(s.changed);
    }
    LeaveCriticalSection(&s.lock);
    return found;
}

}  // namespace

void StartRelay(std::vector<LARGE_INTEGER>* completions) {
    State& s = Get();
    s.completions = completions;
    s.completed = 0;
    if (s.thread == nullptr) {
        s.thread = CreateThread(nullptr, 0, &Monitor, nullptr, 0, nullptr);
        SetThreadPriority(s.thread, THREAD_PRIORITY_TIME_CRITICAL);
    }
}

size_t RelayedCompletions() { return Get().completed.load(); }

}  // namespace latency

namespace platform {

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile) {
    return sim::CreateFileA(name, access, share, security, disposition, flags, templateFile);
}

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                     LPDWORD returned, LPOVERLAPPED overlapped) {
    if (code == IOCTL_KS_WRITE_STREAM && overlapped != nullptr) {
        latency::Relay* relay = latency::RelayFor(overlapped);
        if (relay != nullptr) {
            const BOOL ok =
                sim::DeviceIoControl(device, code, in, inSize, out, outSize, returned, &relay->own);
            overlapped->Internal = relay->own.Internal;
            return ok;
        }
    }
    return sim::DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
}

BOOL CloseHandle(HANDLE object) { return sim::CloseHandle(object); }

// A relayed write's status lives in the relay's own request.
BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait) {
    latency::Relay* relay = overlapped != nullptr ? latency::FindRelay(overlapped) : nullptr;
    return sim::GetOverlappedResult(file, relay != nullptr ? &relay->own : overlapped, transferred,
                                    wait);
}

BOOL CancelIoEx(HANDLE file, LPOVERLAPPED overlapped) {
    latency::Relay* relay = overlapped != nullptr ? latency::FindRelay(overlapped) : nullptr;
    return sim::CancelIoEx(file, relay != nullptr ? &relay->own : overlapped);
}

DWORD KsCreatePin(HANDLE filter, PKSPIN_CONNECT connect, ACCESS_MASK access, PHANDLE pin) {
    return sim::KsCreatePin(filter, connect, access, pin);
}

}  // namespace platform
