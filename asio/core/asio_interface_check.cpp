// Compiles the interface declarations (and with them every layout check)
// into each target, 32-bit and 64-bit.
#include <type_traits>

#include "asio/core/asio_interface.h"
#include "asio/core/driver_state.h"

static_assert(sizeof(IASIO) == sizeof(void*), "IASIO adds only its vtable pointer");

#if defined(__i386__)
// A 32-bit host hands over plain C (cdecl) functions; calling them with any
// other convention corrupts the host's stack on every buffer switch. The
// driver keeps the host's record as it is, so checking the record's members
// checks what the streaming threads call through.
static_assert(std::is_same_v<decltype(veltrano::asio::DriverState::callbacks), ASIOCallbacks>);
static_assert(
    std::is_same_v<decltype(ASIOCallbacks::bufferSwitch), void(__cdecl*)(long, ASIOBool)>);
static_assert(
    !std::is_same_v<decltype(ASIOCallbacks::bufferSwitch), void(__stdcall*)(long, ASIOBool)>,
    "the compiler must tell the conventions apart for these checks to mean anything");
static_assert(
    std::is_same_v<decltype(ASIOCallbacks::sampleRateDidChange), void(__cdecl*)(ASIOSampleRate)>);
static_assert(std::is_same_v<decltype(ASIOCallbacks::asioMessage),
                             long(__cdecl*)(long, long, void*, double*)>);
static_assert(std::is_same_v<decltype(ASIOCallbacks::bufferSwitchTimeInfo),
                             ASIOTime*(__cdecl*)(ASIOTime*, long, ASIOBool)>);
#endif
