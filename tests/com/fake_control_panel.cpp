// Stands in for the control panel program in the launch tests: it only tells
// the test that it was started.
#include <windows.h>

int main() {
    HANDLE started = OpenEventA(EVENT_MODIFY_STATE, FALSE, "VeltranoTestPanelStarted");
    if (started == nullptr) return 1;
    SetEvent(started);
    CloseHandle(started);
    return 0;
}
