#include "sim/os/thread_class_log.h"

#include <cstdint>
#include <cwchar>
#include <iterator>
#include <mutex>

#include "platform/thread_class.h"

namespace sim {
namespace {

struct Joined {
    HANDLE handle;
    DWORD threadId;
};

struct Log {
    Log() { calls.reserve(kKeptThreadClassCalls); }
    void Add(const ThreadClassCall& call) {
        if (calls.size() >= kKeptThreadClassCalls) calls.erase(calls.begin());
        calls.push_back(call);
    }
    std::mutex lock;
    std::vector<ThreadClassCall> calls;
    std::vector<Joined> joined;
    uintptr_t next = 0x7A510000;
    bool available = true;
};

Log& TheLog() {
    static Log log;
    return log;
}

// The task names a stock Windows lists under its multimedia system profile.
bool KnownTask(LPCWSTR name) {
    static const wchar_t* const kTasks[] = {L"Audio",     L"Capture",   L"Distribution",
                                            L"Games",     L"Playback",  L"Pro Audio",
                                            L"Window Manager"};
    if (name == nullptr) return false;
    for (const wchar_t* task : kTasks) {
        if (std::wcscmp(task, name) == 0) return true;
    }
    return false;
}

}  // namespace

std::vector<ThreadClassCall> ThreadClassCalls() {
    Log& log = TheLog();
    std::lock_guard<std::mutex> guard(log.lock);
    return log.calls;
}

void ClearThreadClassCalls() {
    Log& log = TheLog();
    std::lock_guard<std::mutex> guard(log.lock);
    log.calls.clear();
}

void SetThreadClassAvailable(bool available) {
    Log& log = TheLog();
    std::lock_guard<std::mutex> guard(log.lock);
    log.available = available;
}

}  // namespace sim

namespace platform {

HANDLE AvSetMmThreadCharacteristicsW(LPCWSTR TaskName, LPDWORD TaskIndex) {
    sim::Log& log = sim::TheLog();
    std::lock_guard<std::mutex> guard(log.lock);
    sim::ThreadClassCall call;
    call.threadId = ::GetCurrentThreadId();
    if (TaskName != nullptr) {
        for (size_t i = 0; i + 1 < std::size(call.task) && TaskName[i] != L'\0'; ++i) {
            call.task[i] = TaskName[i];
        }
    }
    DWORD error = ERROR_SUCCESS;
    if (!log.available) {
        error = ERROR_MOD_NOT_FOUND;
    } else if (TaskIndex == nullptr || !sim::KnownTask(TaskName)) {
        error = ERROR_INVALID_PARAMETER;
    } else {
        call.handle = reinterpret_cast<HANDLE>(log.next++);
        call.succeeded = true;
        *TaskIndex = 1;
        log.joined.push_back({call.handle, call.threadId});
    }
    log.Add(call);
    ::SetLastError(error);
    return call.handle;
}

BOOL AvRevertMmThreadCharacteristics(HANDLE AvrtHandle) {
    sim::Log& log = sim::TheLog();
    std::lock_guard<std::mutex> guard(log.lock);
    sim::ThreadClassCall call;
    call.join = false;
    call.threadId = ::GetCurrentThreadId();
    call.handle = AvrtHandle;
    DWORD error = log.available ? ERROR_INVALID_HANDLE : ERROR_MOD_NOT_FOUND;
    for (auto it = log.joined.begin(); log.available && it != log.joined.end(); ++it) {
        if (it->handle != AvrtHandle || it->threadId != call.threadId) continue;
        log.joined.erase(it);
        call.succeeded = true;
        error = ERROR_SUCCESS;
        break;
    }
    log.Add(call);
    ::SetLastError(error);
    return call.succeeded ? TRUE : FALSE;
}

}  // namespace platform
