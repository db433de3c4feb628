#pragma once
// The virtual twin of the multimedia class scheduler: which threads joined
// which class and left it again, for tests. It holds callers to Windows'
// rules: a known task name, a task index to write, and a revert with a live
// handle from the thread that joined.

#include <windows.h>

#include <cstddef>
#include <vector>

namespace sim {

struct ThreadClassCall {
    bool join = true;  // false: a revert
    DWORD threadId = 0;
    wchar_t task[32] = {};  // joins only (cut to fit)
    HANDLE handle = nullptr;
    bool succeeded = false;
};

// The calls since the last ClearThreadClassCalls, in order: the newest
// kKeptThreadClassCalls, so a process that streams for ever keeps a bounded
// record.
inline constexpr size_t kKeptThreadClassCalls = 64;
std::vector<ThreadClassCall> ThreadClassCalls();
void ClearThreadClassCalls();

// False: the system has no avrt.dll (calls fail as the real seam does then,
// and are still recorded).
void SetThreadClassAvailable(bool available);

}  // namespace sim
