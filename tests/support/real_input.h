#pragma once
// Real input through the system's input queue, as a user's mouse and
// keyboard give it: windows under test receive it exactly as from a person.

#include <windows.h>

namespace veltrano::test {

// Puts the pointer on the centre of `window` (screen coordinates).
void PointAt(HWND window);
// One mouse button event at the pointer (MOUSEEVENTF_LEFTDOWN, ...).
void SendMouseButton(DWORD flags);
// A key pressed and released.
void SendKey(WORD vk);

}  // namespace veltrano::test
