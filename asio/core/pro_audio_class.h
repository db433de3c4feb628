#pragma once
// A streaming thread's membership of the multimedia class scheduler's
// "Pro Audio" class, for the thread's lifetime. Under load the scheduler
// keeps such a thread running where a priority alone does not; where the
// system offers no class (no avrt.dll) the thread keeps the priority it was
// given and nothing else changes. Made at the thread's start and ended at
// its end, never on the streaming path.

#include "platform/thread_class.h"

namespace veltrano::asio {

class ProAudioClass {
public:
    ProAudioClass() {
        DWORD taskIndex = 0;
        m_handle = platform::AvSetMmThreadCharacteristicsW(L"Pro Audio", &taskIndex);
    }
    ~ProAudioClass() {
        if (m_handle != nullptr) platform::AvRevertMmThreadCharacteristics(m_handle);
    }
    ProAudioClass(const ProAudioClass&) = delete;
    ProAudioClass& operator=(const ProAudioClass&) = delete;

private:
    HANDLE m_handle = nullptr;
};

}  // namespace veltrano::asio
