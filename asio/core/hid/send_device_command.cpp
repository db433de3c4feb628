#include <memory>
#include <new>

#include "asio/core/device_commands.h"
#include "asio/core/hid/hid_device.h"
#include "asio/core/hid/mode_report.h"
#include "common/win_owners.h"

namespace veltrano::asio {
namespace {

// A device that stops taking reports must not hold the host: disposeBuffers
// and stop send commands from the host's thread. Half a second is far longer
// than a working device takes for one report.
constexpr DWORD kWriteTimeoutMs = 500;
// After the cancellation, how long the request gets to come back.
constexpr DWORD kCancelGraceMs = 200;

// What the system may still touch while a write is outstanding: the report
// it reads and the OVERLAPPED it completes. Heap-held so that a write that
// neither finishes nor comes back from cancellation can be left behind
// (a few hundred bytes and an event) instead of freed under the system.
struct PendingWrite {
    OVERLAPPED overlapped{};
    hid::ModeReport report{};
    // Owns overlapped.hEvent.
    UniqueHandle event;
};

// Writes the report on the overlapped handle and waits a bounded time; true
// when the write request is over (done, failed or cancelled), false when
// the request is still outstanding and `write` must stay allocated.
bool WriteBounded(HANDLE file, PendingWrite& write, DWORD length) {
    DWORD written = 0;
    if (platform::WriteFile(file, write.report.data(), length, &written, &write.overlapped)) {
        return true;
    }
    if (GetLastError() != ERROR_IO_PENDING) return true;  // refused: dropped
    if (WaitForSingleObject(write.overlapped.hEvent, kWriteTimeoutMs) == WAIT_OBJECT_0) {
        return true;
    }
    platform::CancelIoEx(file, &write.overlapped);
    return WaitForSingleObject(write.overlapped.hEvent, kCancelGraceMs) == WAIT_OBJECT_0;
}

}  // namespace

void SendDeviceCommand(uint16_t vendorId, uint16_t productId, DeviceCommand command, bool on) {
    hid::HidConnection connection;
    if (!hid::OpenHidDevice(vendorId, productId, &connection)) return;
    if (!connection.overlapped.IsValid()) return;
    const size_t length = hid::ModeReportWriteLength(connection.outputReportLength);
    if (length == 0) return;
    std::unique_ptr<PendingWrite> write(new (std::nothrow) PendingWrite);
    if (!write) return;
    write->report = hid::BuildModeReport(command, on);
    write->event.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!write->event) return;
    write->overlapped.hEvent = write->event.get();
    // A write that did not finish in time is dropped like any other failure.
    if (!WriteBounded(connection.overlapped.get(), *write, static_cast<DWORD>(length))) {
        // The request may still complete into `write`: it is left allocated,
        // event and all, and closing the connection cancels the request.
        static_cast<void>(write.release());
    }
}

}  // namespace veltrano::asio
