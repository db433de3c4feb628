#pragma once
// The virtual audio service's notification thread: endpoint-state,
// property and volume notifications reach their clients there, never on the
// thread that caused them, and in the order they happened. Also the
// enumerator's notification clients, which, as on Windows, are held without
// a reference: a client must unregister before it goes away.

#include <mmdeviceapi.h>

#include <functional>
#include <string>

namespace veltrano::sim {

// Queues work for the notification thread (started at first use).
void PostToNotificationThread(std::function<void()> work);
// Returns once everything queued so far has been delivered.
void WaitForNotificationThread();
bool OnNotificationThread();
// Returns once no delivery is in progress (at once on the notification
// thread itself): after an unregistration, the client is never called again.
void WaitForDeliveryInProgress();

HRESULT AddNotificationClient(const void* enumerator, IMMNotificationClient* client);
HRESULT RemoveNotificationClient(const void* enumerator, IMMNotificationClient* client);
// An enumerator that goes away takes its registrations with it.
void DropNotificationClients(const void* enumerator);
size_t NotificationClientCount();

// Queue a notification for every registered client.
void NotifyStateChanged(const std::wstring& endpointId, DWORD newState);
void NotifyPropertyChanged(const std::wstring& endpointId, const PROPERTYKEY& key);

}  // namespace veltrano::sim
