#pragma once
// The device seam of the core-audio path: the one call that produces the
// endpoint enumerator. Everything else (endpoints, property stores, audio
// clients) is reached through the interfaces the enumerator hands out, so a
// virtual device only has to replace this function.

#include <mmdeviceapi.h>

namespace platform {

// CoCreateInstance of the system's MMDeviceEnumerator (in-process), or the
// virtual device's enumerator in a simulated build. The caller has
// initialised COM on its thread.
HRESULT CreateDeviceEnumerator(IMMDeviceEnumerator** enumerator);

}  // namespace platform
