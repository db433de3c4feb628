#pragma once
// How the class factory reaches the driver object without knowing its
// back end: each driver DLL links exactly one implementation of these two
// functions (the driver object of its deliverable; a test double in tests).

#include <unknwn.h>
#include <windows.h>

#include "asio/core/cunknown.h"

namespace veltrano::asio {

// Constructs a driver object, zero-filled from the module heap, with `outer`
// as its controlling unknown (null: the object itself) and `clsid` as its
// identity. Its reference count is 0. Null when the heap is exhausted.
CUnknown* NewDriverObject(IUnknown* outer, REFCLSID clsid);

// Device discovery on an object from NewDriverObject: S_OK, or E_FAIL when
// no supported device is present (the factory then releases the object).
HRESULT DiscoverDevice(CUnknown* object);

}  // namespace veltrano::asio
