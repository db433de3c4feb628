#pragma once
// The endpoint set over the virtual endpoints, as the control panel holds
// it: a real window receives the Player's messages, the Windows kind is the
// one under test, and every test starts from a fresh virtual device.

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>

#include "common/device_table.h"
#include "cpl/endpoint/audio_endpoint_set.h"
#include "sim/audio/virtual_audio.h"
#include "sim/audio/virtual_controls.h"

namespace veltrano::test {

inline OsKind Kind(int32_t kind, uint32_t build = 19045) {
    OsKind os;
    os.kind = kind;
    os.platformFlag = 0;
    os.build = build;
    return os;
}

// A hidden top-level window on the test thread that counts the messages it
// receives.
class MessageWindow {
public:
    MessageWindow();
    ~MessageWindow();
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;
    HWND get() const { return m_window; }
    // Pumps the thread's queue until `message` has arrived `count` times in
    // all, or the time is up. Counts every message of the kind.
    bool WaitFor(UINT message, int count, DWORD timeoutMs = 5000);
    // Pumps what is queued now.
    void Drain();
    int Count(UINT message) const;

private:
    static LRESULT CALLBACK Procedure(HWND, UINT, WPARAM, LPARAM);
    HWND m_window = nullptr;
    int m_volume = 0;
    int m_active = 0;
};

class EndpointTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Replaces the virtual endpoints.
    void Configure(const sim::VirtualAudioConfig& config);
    // A set for the window on a given Windows kind.
    std::unique_ptr<cpl::AudioEndpointSet> MakeSet(int32_t kind = 10);
    // Probes for the accepted-devices table's first entry.
    HRESULT ProbeFirst(cpl::AudioEndpointSet& set);

    int playback = -1;
    int record = -1;
    int asio = -1;
    MessageWindow window;
};

// The device's first accepted entry.
inline const SupportedDevice& FirstDevice() { return SupportedDeviceTable[0]; }

}  // namespace veltrano::test
