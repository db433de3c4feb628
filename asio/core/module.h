#pragma once
// Module-wide state of a driver DLL: its handle, the private heap every
// driver object comes from, and the object and lock counts that decide
// whether COM may unload it.

#include <windows.h>

#include <cstddef>

namespace veltrano::asio {

// Process attach: remembers the module and creates the private heap.
void ModuleAttach(HMODULE module);
// Process detach: destroys the private heap.
void ModuleDetach();

HMODULE ModuleHandle();

// Zero-filled allocation from the private heap (the process heap when the
// code runs outside a DLL, as in unit tests); null when exhausted.
void* ModuleAlloc(std::size_t size) noexcept;
void ModuleFree(void* p) noexcept;

LONG ModuleObjectCount();
void ModuleObjectCreated();
void ModuleObjectDestroyed();

LONG ModuleLockCount();
void ModuleLock(bool lock);

}  // namespace veltrano::asio
