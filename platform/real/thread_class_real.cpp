#include <cstring>

#include "platform/thread_class.h"

namespace platform {
namespace {

using SetFn = HANDLE(WINAPI*)(LPCWSTR, LPDWORD);
using RevertFn = BOOL(WINAPI*)(HANDLE);

struct Avrt {
    SetFn set = nullptr;
    RevertFn revert = nullptr;
    DWORD missing = ERROR_PROC_NOT_FOUND;  // the reason when either is absent
};

template <typename Fn>
Fn Lookup(HMODULE module, const char* name) {
    Fn fn = nullptr;
    FARPROC proc = ::GetProcAddress(module, name);
    static_assert(sizeof(fn) == sizeof(proc));
    std::memcpy(&fn, &proc, sizeof(fn));
    return fn;
}

// Loaded once and kept for the process: the first streaming thread pays
// for the look-up at its start, never on the streaming path.
const Avrt& Functions() {
    static const Avrt avrt = [] {
        Avrt found;
        HMODULE module = ::LoadLibraryW(L"avrt.dll");
        if (module == nullptr) {
            found.missing = ::GetLastError();
            return found;
        }
        found.set = Lookup<SetFn>(module, "AvSetMmThreadCharacteristicsW");
        found.revert = Lookup<RevertFn>(module, "AvRevertMmThreadCharacteristics");
        if (found.set == nullptr || found.revert == nullptr) {
            found.set = nullptr;
            found.revert = nullptr;
        }
        return found;
    }();
    return avrt;
}

}  // namespace

HANDLE AvSetMmThreadCharacteristicsW(LPCWSTR TaskName, LPDWORD TaskIndex) {
    const Avrt& avrt = Functions();
    if (avrt.set == nullptr) {
        ::SetLastError(avrt.missing);
        return nullptr;
    }
    return avrt.set(TaskName, TaskIndex);
}

BOOL AvRevertMmThreadCharacteristics(HANDLE AvrtHandle) {
    const Avrt& avrt = Functions();
    if (avrt.revert == nullptr) {
        ::SetLastError(avrt.missing);
        return FALSE;
    }
    return avrt.revert(AvrtHandle);
}

}  // namespace platform
