#include "sim/audio/sim_notify.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace veltrano::sim {
namespace {

struct Registration {
    const void* enumerator;
    IMMNotificationClient* client;
};

// Never destroyed: the thread may still run while the process exits.
struct NotificationService {
    std::mutex queueLock;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<std::function<void()>> queue;
    bool busy = false;
    bool started = false;
    DWORD threadId = 0;
    // Held while a work item runs, so an unregistration can wait it out.
    std::mutex deliveryLock;

    std::mutex clientLock;
    std::vector<Registration> clients;

    void Run() {
        threadId = GetCurrentThreadId();
        std::unique_lock<std::mutex> guard(queueLock);
        for (;;) {
            wake.wait(guard, [this] { return !queue.empty(); });
            std::function<void()> work = std::move(queue.front());
            queue.pop_front();
            busy = true;
            guard.unlock();
            {
                std::lock_guard<std::mutex> delivering(deliveryLock);
                work();
            }
            guard.lock();
            busy = false;
            if (queue.empty()) idle.notify_all();
        }
    }
};

NotificationService& Service() {
    static NotificationService* service = new NotificationService;
    return *service;
}

std::vector<IMMNotificationClient*> Clients() {
    NotificationService& service = Service();
    std::lock_guard<std::mutex> guard(service.clientLock);
    std::vector<IMMNotificationClient*> result;
    for (const Registration& r : service.clients) result.push_back(r.client);
    return result;
}

// Clients still registered at delivery time: one that unregistered after the
// notification was queued is not called.
bool StillRegistered(IMMNotificationClient* client) {
    NotificationService& service = Service();
    std::lock_guard<std::mutex> guard(service.clientLock);
    return std::any_of(service.clients.begin(), service.clients.end(),
                       [client](const Registration& r) { return r.client == client; });
}

}  // namespace

void PostToNotificationThread(std::function<void()> work) {
    NotificationService& service = Service();
    std::lock_guard<std::mutex> guard(service.queueLock);
    if (!service.started) {
        service.started = true;
        std::thread([&service] { service.Run(); }).detach();
    }
    service.queue.push_back(std::move(work));
    service.wake.notify_one();
}

void WaitForNotificationThread() {
    NotificationService& service = Service();
    if (OnNotificationThread()) return;
    std::unique_lock<std::mutex> guard(service.queueLock);
    service.idle.wait(guard, [&service] { return service.queue.empty() && !service.busy; });
}

bool OnNotificationThread() {
    NotificationService& service = Service();
    std::lock_guard<std::mutex> guard(service.queueLock);
    return service.started && service.threadId == GetCurrentThreadId();
}

void WaitForDeliveryInProgress() {
    if (OnNotificationThread()) return;
    std::lock_guard<std::mutex> guard(Service().deliveryLock);
}

HRESULT AddNotificationClient(const void* enumerator, IMMNotificationClient* client) {
    if (client == nullptr) return E_POINTER;
    NotificationService& service = Service();
    std::lock_guard<std::mutex> guard(service.clientLock);
    service.clients.push_back({enumerator, client});
    return S_OK;
}

HRESULT RemoveNotificationClient(const void* enumerator, IMMNotificationClient* client) {
    if (client == nullptr) return E_POINTER;
    NotificationService& service = Service();
    {
        std::lock_guard<std::mutex> guard(service.clientLock);
        auto it = std::find_if(service.clients.begin(), service.clients.end(),
                               [&](const Registration& r) {
                                   return r.enumerator == enumerator && r.client == client;
                               });
        if (it == service.clients.end()) return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
        service.clients.erase(it);
    }
    WaitForDeliveryInProgress();
    return S_OK;
}

void DropNotificationClients(const void* enumerator) {
    NotificationService& service = Service();
    {
        std::lock_guard<std::mutex> guard(service.clientLock);
        service.clients.erase(std::remove_if(service.clients.begin(), service.clients.end(),
                                             [enumerator](const Registration& r) {
                                                 return r.enumerator == enumerator;
                                             }),
                              service.clients.end());
    }
    WaitForDeliveryInProgress();
}

size_t NotificationClientCount() {
    NotificationService& service = Service();
    std::lock_guard<std::mutex> guard(service.clientLock);
    return service.clients.size();
}

void NotifyStateChanged(const std::wstring& endpointId, DWORD newState) {
    PostToNotificationThread([endpointId, newState] {
        for (IMMNotificationClient* client : Clients()) {
            if (StillRegistered(client)) client->OnDeviceStateChanged(endpointId.c_str(), newState);
        }
    });
}

void NotifyPropertyChanged(const std::wstring& endpointId, const PROPERTYKEY& key) {
    PostToNotificationThread([endpointId, key] {
        for (IMMNotificationClient* client : Clients()) {
            if (StillRegistered(client)) client->OnPropertyValueChanged(endpointId.c_str(), key);
        }
    });
}

}  // namespace veltrano::sim
