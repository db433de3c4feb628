#pragma once
// The virtual Veltrano-HD's control and observation API for tests.

#include <cstdint>
#include <vector>

#include "platform/win32_headers.h"
#include "sim/config.h"

namespace sim {

// Replaces the device set; every handle the sim handed out becomes invalid
// and queued transfers are cancelled.
void Configure(const Config& config);
// Back to DefaultConfig().
void Reset();
// The device set in effect (after the first-use hook has run).
Config CurrentConfig();

// A function run once, before the first device discovery or device open of
// the process. Tests configure the sim directly and set none; the `_sim`
// driver builds set one that loads the device profile.
using FirstUseHook = void (*)();
void SetFirstUseHook(FirstUseHook hook);

// The path of device d's interface in a category (audio, render, capture).
std::string InterfacePath(size_t device, const GUID& category);

// Everything written to instances of (device, pin) and completed, in order.
std::vector<uint8_t> RenderedBytes(size_t device, uint32_t pinId);
// Byte n of the capture generator's stream (each pin instance starts at 0).
uint8_t CaptureByte(uint64_t n);

// Pin states every instance of (device, pin) went through, in order.
std::vector<KSSTATE> StateHistory(size_t device, uint32_t pinId);

// Every output report written to device d's HID interface, in order, and the
// flags of every successful open of it.
std::vector<std::vector<uint8_t>> HidReports(size_t device);
std::vector<DWORD> HidOpenFlags(size_t device);

bool IsSimHandle(HANDLE h);
size_t OpenHandleCount();

}  // namespace sim
