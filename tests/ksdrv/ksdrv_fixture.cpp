#include "ksdrv_fixture.h"

#include <cstdio>

#include "asio/core/driver_instance.h"
#include "asio/core/module.h"
#include "common/device_table.h"

namespace ksdrv {
namespace {

// The streaming thread sends the DSD-over-PCM command through the watchdog
// thread while the test thread reads, so the record takes a lock.
struct CommandLog {
    CommandLog() { InitializeCriticalSection(&lock); }
    CRITICAL_SECTION lock;
    std::vector<Command> commands;
};
CommandLog& Log() {
    static CommandLog log;
    return log;
}

}  // namespace

Driver::Driver() {
    veltrano::asio::CUnknown* object = veltrano::asio::NewDriverObject(nullptr, kClsid);
    if (object == nullptr) {
        created = E_OUTOFMEMORY;
        return;
    }
    object->NonDelegatingAddRef();
    created = veltrano::asio::DiscoverDevice(object);
    if (SUCCEEDED(created)) {
        created = object->NonDelegatingQueryInterface(kClsid, reinterpret_cast<void**>(&m_asio));
    }
    object->NonDelegatingRelease();
}

void Driver::Reset() {
    if (m_asio != nullptr) m_asio->Release();
    m_asio = nullptr;
}

std::vector<Command> SentCommands() {
    EnterCriticalSection(&Log().lock);
    std::vector<Command> copy = Log().commands;
    LeaveCriticalSection(&Log().lock);
    return copy;
}

int CountCommands(veltrano::asio::DeviceCommand command, bool on) {
    int n = 0;
    for (const Command& c : SentCommands()) n += c.command == command && c.on == on ? 1 : 0;
    return n;
}

void ClearCommands() {
    EnterCriticalSection(&Log().lock);
    Log().commands.clear();
    LeaveCriticalSection(&Log().lock);
}

std::string PathFor(const char* format) {
    const veltrano::SupportedDevice& entry = veltrano::SupportedDeviceTable[0];
    char text[200];
    snprintf(text, sizeof text, format, entry.vendorId, entry.productId);
    return text;
}

void KsDriverTest::SetUp() {
    sim::Reset();
    DeleteSettings();
    ClearCommands();
    ASSERT_EQ(veltrano::asio::ModuleObjectCount(), 0);
}

void KsDriverTest::TearDown() {
    EXPECT_EQ(veltrano::asio::ModuleObjectCount(), 0);
    sim::Reset();
    DeleteSettings();
}

}  // namespace ksdrv

namespace veltrano::asio {

void SendDeviceCommand(uint16_t, uint16_t, DeviceCommand command, bool on) {
    EnterCriticalSection(&ksdrv::Log().lock);
    ksdrv::Log().commands.push_back({command, on});
    LeaveCriticalSection(&ksdrv::Log().lock);
}

}  // namespace veltrano::asio
