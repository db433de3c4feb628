#pragma once
// Driving the WASAPI driver object over the virtual endpoints the way a
// host does: the object comes from the same creation path the class factory
// uses, every call goes through IASIO, and the host callbacks record what
// the driver asked for. The device's HID commands land in a recording test
// double.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "support/user_settings.h"
#include "asio/core/asio_interface.h"
#include "asio/core/device_commands.h"
#include "common/asio_status_block.h"
#include "sim/audio/virtual_audio.h"

namespace veltrano::test {

// {3F0A6C21-9B4E-4D2F-8C71-5E6A7B8C9D01}
inline constexpr GUID kWasapiClsid = {
    0x3f0a6c21, 0x9b4e, 0x4d2f, {0x8c, 0x71, 0x5e, 0x6a, 0x7b, 0x8c, 0x9d, 0x01}};

// The driver as a host holds it.
class HostDriver {
public:
    HostDriver();
    ~HostDriver() { Reset(); }
    HostDriver(const HostDriver&) = delete;
    HostDriver& operator=(const HostDriver&) = delete;
    IASIO* operator->() const { return m_asio; }
    IASIO* get() const { return m_asio; }
    HRESULT created = E_FAIL;
    void Reset();

private:
    IASIO* m_asio = nullptr;
};

// The status block as the control panel sees it, mapped for one scope.
class BlockView {
public:
    BlockView();
    ~BlockView();
    BlockView(const BlockView&) = delete;
    BlockView& operator=(const BlockView&) = delete;
    volatile AsioStatusBlock* operator->() const { return m_view; }
    explicit operator bool() const { return m_view != nullptr; }

private:
    HANDLE m_mapping = nullptr;
    volatile AsioStatusBlock* m_view = nullptr;
};

struct SentCommand {
    asio::DeviceCommand command;
    bool on;
    uint16_t vendorId;
    uint16_t productId;
};
std::vector<SentCommand> SentCommands();

// What the host's callbacks saw. Reset per test.
struct HostLog {
    std::atomic<int> switches{0};
    std::atomic<int> resetRequests{0};
    std::atomic<int> resyncRequests{0};
    std::atomic<int> rateNotices{0};
    std::atomic<int> firstHalf{-1};
    std::atomic<long long> firstPosition{-1};
    std::atomic<unsigned long> firstFlags{0};
    std::atomic<bool> timeInfoCalls{false};
    std::atomic<double> timeInfoRate{0.0};  // of the last time-info switch
};
HostLog& Host();

// The host's work in each buffer switch, on the streaming thread. Unset:
// nothing is written.
void SetSwitchWork(std::function<void(long half)> work);

// The host's work when it receives a reset request, on the thread that
// sent it. Unset: nothing.
void SetResetWork(std::function<void()> work);

// The host's work when it is told the rate changed, on the thread that told
// it. Unset: nothing.
void SetRateWork(std::function<void()> work);

// Callbacks offering time info when `timeInfo`.
ASIOCallbacks HostCallbacks(bool timeInfo = true);

// Registry settings under HKCU "Software\ASIO\Veltrano-HD".

// Waits (polling, up to `seconds`) until `done` holds.
bool WaitFor(const std::function<bool()>& done, double seconds = 10.0);

// A recording's data without the periods the device played as silence of
// its own because nothing was queued in time (a starved machine, which the
// device logs as underruns).
std::vector<uint8_t> WithoutUnderruns(const sim::RenderRecording& r);

class WasapiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Applies a virtual device description for this test.
    static void Configure(const sim::VirtualAudioConfig& config);
};

}  // namespace veltrano::test
