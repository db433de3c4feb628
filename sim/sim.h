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

// Everything instances of (device, pin) played, in order: what each packet
// held when it was queued, with the silence of every underrun between.
std::vector<uint8_t> RenderedBytes(size_t device, uint32_t pinId);
// The same without the silence of its underruns: what the driver sent, in
// order, for comparisons that hold between glitches on a loaded machine.
std::vector<uint8_t> RenderedFromHost(size_t device, uint32_t pinId);
// Frame n of a capture stream of `frameBytes` bytes per frame (each pin
// instance starts at frame 0). Every frame differs from the 2^(8 ×
// frameBytes) - 1 frames around it (up to 2^64), so a repeated, dropped or
// swapped packet shows.
void CaptureFrame(uint64_t n, size_t frameBytes, uint8_t* out);

// What went wrong on the stream of (device, pin), over all its instances.
StreamFaults PinFaults(size_t device, uint32_t pinId);

// Pin states instances of (device, pin) went through, in order (the latest
// ones; the records are bounded).
std::vector<KSSTATE> StateHistory(size_t device, uint32_t pinId);

// The latest output reports written to device d's HID interface, in order,
// and the flags of the latest successful opens of it (bounded).
std::vector<std::vector<uint8_t>> HidReports(size_t device);
std::vector<DWORD> HidOpenFlags(size_t device);

bool IsSimHandle(HANDLE h);
size_t OpenHandleCount();

}  // namespace sim
