#include "asio/core/module.h"

namespace veltrano::asio {
namespace {

HMODULE g_module = nullptr;
HANDLE g_heap = nullptr;
volatile LONG g_objects = 0;
volatile LONG g_locks = 0;

HANDLE Heap() { return g_heap != nullptr ? g_heap : GetProcessHeap(); }

}  // namespace

void ModuleAttach(HMODULE module) {
    g_module = module;
    if (g_heap == nullptr) g_heap = HeapCreate(0, 0x10000, 0);
}

void ModuleDetach() {
    if (g_heap != nullptr) {
        HeapDestroy(g_heap);
        g_heap = nullptr;
    }
}

HMODULE ModuleHandle() { return g_module; }

void* ModuleAlloc(std::size_t size) noexcept {
    return HeapAlloc(Heap(), HEAP_ZERO_MEMORY, size == 0 ? 1 : size);
}

void ModuleFree(void* p) noexcept {
    if (p != nullptr) HeapFree(Heap(), 0, p);
}

LONG ModuleObjectCount() { return g_objects; }
void ModuleObjectCreated() { InterlockedIncrement(&g_objects); }
void ModuleObjectDestroyed() { InterlockedDecrement(&g_objects); }

LONG ModuleLockCount() { return g_locks; }
void ModuleLock(bool lock) {
    if (lock) {
        InterlockedIncrement(&g_locks);
    } else {
        InterlockedDecrement(&g_locks);
    }
}

}  // namespace veltrano::asio
