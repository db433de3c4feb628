#pragma once
// The multimedia class scheduler seam: the two avrt.dll calls that move a
// thread into a scheduling class and out again. The real build finds them in
// avrt.dll at run time, so a system without it (XP) answers as if the task
// were unknown and the caller keeps the priority it set itself; the virtual
// twin records every call so tests see who joined and left.

#include <windows.h>

namespace platform {

// As AvSetMmThreadCharacteristicsW: null (with the reason in the last error)
// when the class cannot be joined, including where avrt.dll is missing.
HANDLE AvSetMmThreadCharacteristicsW(LPCWSTR TaskName, LPDWORD TaskIndex);

// As AvRevertMmThreadCharacteristics, on the thread that joined.
BOOL AvRevertMmThreadCharacteristics(HANDLE AvrtHandle);

}  // namespace platform
