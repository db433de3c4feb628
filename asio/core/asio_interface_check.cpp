// Compiles the interface declarations (and with them every layout check)
// into each target, 32-bit and 64-bit.
#include "asio/core/asio_interface.h"

static_assert(sizeof(IASIO) == sizeof(void*), "IASIO adds only its vtable pointer");
