#pragma once
// The virtual Veltrano-HD leaving and arriving as a USB device does: its
// audio endpoints leave (or re-enter) the active state, its kernel-streaming
// filter and HID interface disappear (or come back), and every window
// registered for USB device-interface notifications gets the
// DBT_DEVICEREMOVECOMPLETE (or DBT_DEVICEARRIVAL) message Windows sends,
// synchronously, with the device's interface name.

#include <windows.h>

#include <cstddef>
#include <string>

namespace sim {

// Registrations made through platform::RegisterDeviceNotificationA and not
// yet unregistered.
size_t DeviceNotificationCount();

bool DevicePlugged();
// False (and nothing happens) when the device is already out / in.
bool UnplugDevice();
bool PlugDevice();
// The USB device arrives but its audio function has not started yet: the
// arrival is sent while the kernel-streaming filter and the endpoints are
// still missing (a slow audio driver start). StartAudioFunction brings them;
// false when nothing waits for it.
bool PlugDeviceAudioLater();
bool StartAudioFunction();

// "\\?\USB#VID_vvvv&PID_pppp#<serial>#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"
// for the virtual device's vendor and product.
std::string UsbInterfaceName();

// Sends a device-interface arrival or removal with any name to the windows
// registered for its class (a test: some other USB device).
void BroadcastDeviceInterface(bool arrival, const std::string& interfaceName);

}  // namespace sim
