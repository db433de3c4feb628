#include <algorithm>
#include <chrono>
#include <cstring>
#include <set>

#include "ks_fixture.h"
#include "platform/ks_device.h"

namespace kstest {
namespace {

using Clock = std::chrono::steady_clock;
using kslib::CKsAudPin;

constexpr DWORD kStatusCancelled = 0xC0000120;

// One packet of a ring: header, overlapped with its own event, and data.
struct Packet {
    KSSTREAM_HEADER header{};
    OVERLAPPED overlapped{};
    std::vector<BYTE> data;

    explicit Packet(size_t bytes, bool render) : data(bytes) {
        overlapped.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        header.Size = sizeof header;
        header.PresentationTime.Numerator = 1;
        header.PresentationTime.Denominator = 1;
        header.FrameExtent = static_cast<ULONG>(bytes);
        header.DataUsed = render ? static_cast<ULONG>(bytes) : 0;
        header.Data = data.data();
    }
    ~Packet() { CloseHandle(overlapped.hEvent); }
    Packet(const Packet&) = delete;
    Packet& operator=(const Packet&) = delete;
    bool Wait(DWORD ms) { return WaitForSingleObject(overlapped.hEvent, ms) == WAIT_OBJECT_0; }
};

class KsStreamTest : public KsTest {
protected:
    // Creates and runs pin 0 (render) or 2 (capture) of the default device.
    CKsAudPin* StartPin(bool render, DWORD rate) {
        m_filter = OpenRenderFilter();
        CKsAudPin* pin = static_cast<CKsAudPin*>(render ? m_filter->RenderSinkPins().Head()
                                                        : m_filter->CaptureSinkPins().Head());
        WAVEFORMATEXTENSIBLE ext = Extensible(2, 16, rate);
        EXPECT_EQ(pin->SetFormat(&ext.Format), S_OK);
        EXPECT_EQ(pin->Instantiate(), S_OK);
        EXPECT_EQ(pin->Reset(), S_OK);
        EXPECT_EQ(pin->SetState(KSSTATE_ACQUIRE), S_OK);
        EXPECT_EQ(pin->SetState(KSSTATE_PAUSE), S_OK);
        return pin;
    }
    std::unique_ptr<kslib::CKsAudRenFilter> m_filter;
};

TEST_F(KsStreamTest, RenderedPacketsCompleteInOrderAtTheirPaceAndAreRecordedExactly) {
    // 8 packets of 4800 frames at 48000 Hz: 100 ms each, 800 ms in all.
    constexpr size_t kPackets = 8;
    constexpr size_t kBytes = 4800 * 4;
    CKsAudPin* pin = StartPin(true, 48000);
    std::vector<std::unique_ptr<Packet>> ring;
    std::vector<BYTE> expected;
    for (size_t k = 0; k < kPackets; ++k) {
        ring.push_back(std::make_unique<Packet>(kBytes, true));
        for (size_t i = 0; i < kBytes; ++i) ring[k]->data[i] = static_cast<BYTE>(i * 31 + k);
        expected.insert(expected.end(), ring[k]->data.begin(), ring[k]->data.end());
        // Queued while paused: nothing plays until the pin runs.
        ASSERT_EQ(pin->WriteData(&ring[k]->header, &ring[k]->overlapped), S_OK);
    }
    EXPECT_FALSE(ring[0]->Wait(150));
    const auto start = Clock::now();
    ASSERT_EQ(pin->SetState(KSSTATE_RUN), S_OK);
    for (size_t k = 0; k < kPackets; ++k) {
        ASSERT_TRUE(ring[k]->Wait(10000)) << "packet " << k;
        EXPECT_EQ(ring[k]->overlapped.Internal, 0u);
        EXPECT_EQ(ring[k]->overlapped.InternalHigh, kBytes);
    }
    const auto elapsed = Clock::now() - start;
    // The device plays in real time; the upper bound only guards a hang.
    EXPECT_GE(elapsed, std::chrono::milliseconds(700));
    EXPECT_LT(elapsed, std::chrono::seconds(20));
    // Recorded at completion, so this also shows the completion order.
    EXPECT_EQ(sim::RenderedBytes(0, 0), expected);
}

TEST_F(KsStreamTest, CapturedPacketsAreFilledFromTheGenerator) {
    constexpr size_t kBytes = 480 * 4;
    CKsAudPin* pin = StartPin(false, 48000);
    Packet first(kBytes, false);
    Packet second(kBytes, false);
    // Queued before the pin runs: a running device captures whether or not
    // a read is waiting, and what nothing waited for is lost.
    ASSERT_EQ(pin->ReadData(&first.header, &first.overlapped), S_OK);
    ASSERT_EQ(pin->ReadData(&second.header, &second.overlapped), S_OK);
    ASSERT_EQ(pin->SetState(KSSTATE_RUN), S_OK);
    ASSERT_TRUE(first.Wait(10000));
    ASSERT_TRUE(second.Wait(10000));
    EXPECT_EQ(first.header.DataUsed, kBytes);
    EXPECT_EQ(second.overlapped.InternalHigh, kBytes);
    uint8_t frame[4];
    for (size_t f = 0; f < 480; ++f) {
        sim::CaptureFrame(f, 4, frame);
        ASSERT_EQ(memcmp(first.data.data() + f * 4, frame, 4), 0) << f;
        sim::CaptureFrame(480 + f, 4, frame);
        ASSERT_EQ(memcmp(second.data.data() + f * 4, frame, 4), 0) << f;
    }
    // Reading from a capture pin is fine; writing to it is not.
    LogCapture log(1);
    EXPECT_EQ(pin->WriteData(&first.header, &first.overlapped), E_FAIL);
    EXPECT_TRUE(log.Has("CKsPin::WriteData's DeviceIoControl Failed!  Error=0x0x000001"));
}

TEST_F(KsStreamTest, TheStopTransitionCancelsTransfersInFlight) {
    CKsAudPin* pin = StartPin(true, 44100);
    Packet packet(44100 * 4, true);  // one second
    for (size_t i = 0; i < packet.data.size(); ++i) packet.data[i] = static_cast<BYTE>(i * 7 + 1);
    ASSERT_EQ(pin->SetState(KSSTATE_RUN), S_OK);
    ASSERT_EQ(pin->WriteData(&packet.header, &packet.overlapped), S_OK);
    ASSERT_EQ(pin->SetState(KSSTATE_PAUSE), S_OK);
    ASSERT_EQ(pin->SetState(KSSTATE_ACQUIRE), S_OK);
    ASSERT_EQ(pin->SetState(KSSTATE_STOP), S_OK);
    ASSERT_TRUE(packet.Wait(5000));
    EXPECT_EQ(packet.overlapped.Internal, kStatusCancelled);
    EXPECT_EQ(packet.overlapped.InternalHigh, 0u);
    // The device clock ran while the pin was running, however briefly (a slow
    // or emulated machine may take a period or more between the two state
    // changes), so it may have played the packet's first frames (and silence
    // before the packet arrived), but never the whole packet.
    const std::vector<uint8_t> played = sim::RenderedFromHost(0, 0);
    ASSERT_LT(played.size(), packet.data.size());
    EXPECT_EQ(played.size() % 4, 0u);
    EXPECT_TRUE(std::equal(played.begin(), played.end(), packet.data.begin()));
    // Stopped pins take no transfers.
    LogCapture log(1);
    EXPECT_EQ(pin->WriteData(&packet.header, &packet.overlapped), E_FAIL);
    EXPECT_TRUE(log.Has("CKsPin::WriteData's DeviceIoControl Failed!  Error=0x0x000016"));
}

TEST_F(KsStreamTest, ClosingAPinCancelsItsTransfers) {
    CKsAudPin* pin = StartPin(false, 48000);
    Packet packet(48000 * 4, false);
    ASSERT_EQ(pin->ReadData(&packet.header, &packet.overlapped), S_OK);
    m_filter.reset();  // deletes the pin, which closes its handle
    ASSERT_TRUE(packet.Wait(5000));
    EXPECT_EQ(packet.overlapped.Internal, kStatusCancelled);
    EXPECT_EQ(sim::OpenHandleCount(), 0u);
}

TEST_F(KsStreamTest, RefusedTransfersFailAndStalledOnesNeverComplete) {
    sim::Config config = sim::DefaultConfig();
    config.faults.transferError = ERROR_DEVICE_NOT_CONNECTED;
    Use(config);
    CKsAudPin* pin = StartPin(true, 48000);
    Packet packet(480 * 4, true);
    LogCapture log(1);
    EXPECT_EQ(pin->WriteData(&packet.header, &packet.overlapped), E_FAIL);
    EXPECT_TRUE(log.Has("CKsPin::WriteData's DeviceIoControl Failed!  Error=0x0x00048f"));

    config.faults = {};
    config.faults.stallCompletions = true;
    Use(config);
    pin = StartPin(true, 48000);
    ASSERT_EQ(pin->SetState(KSSTATE_RUN), S_OK);
    ASSERT_EQ(pin->WriteData(&packet.header, &packet.overlapped), S_OK);
    EXPECT_FALSE(packet.Wait(300));
    ASSERT_EQ(pin->SetState(KSSTATE_PAUSE), S_OK);
    ASSERT_EQ(pin->SetState(KSSTATE_ACQUIRE), S_OK);
    ASSERT_EQ(pin->SetState(KSSTATE_STOP), S_OK);
    EXPECT_TRUE(packet.Wait(5000));
}

TEST_F(KsStreamTest, MalformedStreamHeadersAreRefused) {
    CKsAudPin* pin = StartPin(true, 48000);
    Packet packet(480 * 4, true);
    packet.header.DataUsed = 3;  // not whole frames
    EXPECT_EQ(pin->WriteData(&packet.header, &packet.overlapped), E_FAIL);
    packet.header.DataUsed = packet.header.FrameExtent + 4;
    EXPECT_EQ(pin->WriteData(&packet.header, &packet.overlapped), E_FAIL);
    packet.header.DataUsed = packet.header.FrameExtent;
    // The header of the other bitness (48 bytes in 32-bit code, 56 in 64-bit
    // code, where Data is wider) is refused like any other wrong size.
    static_assert(sizeof(KSSTREAM_HEADER) == (sizeof(void*) == 8 ? 56 : 48));
    packet.header.Size = sizeof(void*) == 8 ? 48 : 56;
    EXPECT_EQ(pin->WriteData(&packet.header, &packet.overlapped), E_FAIL);
}

// A real device keeps playing when nothing is queued: the time it was
// starved is silence, counted, and placed where it happened.
TEST_F(KsStreamTest, AStarvedRenderPinPlaysSilenceAndCountsTheUnderrun) {
    constexpr size_t kBytes = 480 * 4;  // 10 ms
    CKsAudPin* pin = StartPin(true, 48000);
    Packet first(kBytes, true);
    Packet second(kBytes, true);
    memset(first.data.data(), 0x11, kBytes);
    memset(second.data.data(), 0x22, kBytes);
    ASSERT_EQ(pin->WriteData(&first.header, &first.overlapped), S_OK);
    ASSERT_EQ(pin->SetState(KSSTATE_RUN), S_OK);
    ASSERT_TRUE(first.Wait(10000));
    Sleep(100);  // the device runs dry for about 90 ms
    ASSERT_EQ(pin->WriteData(&second.header, &second.overlapped), S_OK);
    ASSERT_TRUE(second.Wait(10000));
    const sim::StreamFaults faults = sim::PinFaults(0, 0);
    EXPECT_EQ(faults.underruns, 1u);
    EXPECT_GE(faults.starvedFrames, 48000u * 80 / 1000);
    const std::vector<uint8_t> played = sim::RenderedBytes(0, 0);
    ASSERT_EQ(played.size(), 2 * kBytes + faults.starvedFrames * 4);
    EXPECT_EQ(played[kBytes - 1], 0x11);
    EXPECT_EQ(played[kBytes], 0);
    EXPECT_EQ(played[played.size() - kBytes - 1], 0);
    EXPECT_EQ(played[played.size() - kBytes], 0x22);
    // Without the starved silence it is what was sent.
    std::vector<uint8_t> sent(2 * kBytes, 0x22);
    memset(sent.data(), 0x11, kBytes);
    EXPECT_EQ(sim::RenderedFromHost(0, 0), sent);
}

// The device plays what a packet held when it was queued; a caller that
// writes into it afterwards is caught, and the queued bytes are recorded.
TEST_F(KsStreamTest, AWriteIntoAPacketInFlightIsCaughtAndTheQueuedBytesPlayed) {
    constexpr size_t kBytes = 4800 * 4;  // 100 ms
    CKsAudPin* pin = StartPin(true, 48000);
    Packet packet(kBytes, true);
    memset(packet.data.data(), 0x33, kBytes);
    ASSERT_EQ(pin->WriteData(&packet.header, &packet.overlapped), S_OK);
    ASSERT_EQ(pin->SetState(KSSTATE_RUN), S_OK);
    memset(packet.data.data(), 0x44, kBytes / 2);
    ASSERT_TRUE(packet.Wait(10000));
    EXPECT_EQ(sim::PinFaults(0, 0).overwrites, 1u);
    EXPECT_EQ(sim::RenderedBytes(0, 0), std::vector<uint8_t>(kBytes, 0x33));
}

TEST_F(KsStreamTest, InjectedErrorCompletionsCarryTheirStatus) {
    sim::Config config = sim::DefaultConfig();
    config.faults.completionErrorAfter = 1;
    config.faults.completionError = ERROR_DEVICE_REMOVED;
    Use(config);
    CKsAudPin* pin = StartPin(false, 48000);
    Packet good(480 * 4, false);
    Packet bad(480 * 4, false);
    ASSERT_EQ(pin->ReadData(&good.header, &good.overlapped), S_OK);
    ASSERT_EQ(pin->ReadData(&bad.header, &bad.overlapped), S_OK);
    ASSERT_EQ(pin->SetState(KSSTATE_RUN), S_OK);
    ASSERT_TRUE(bad.Wait(10000));
    DWORD bytes = 99;
    EXPECT_TRUE(platform::GetOverlappedResult(pin->GetHandle(), &good.overlapped, &bytes, FALSE));
    EXPECT_EQ(bytes, 480u * 4);
    EXPECT_FALSE(platform::GetOverlappedResult(pin->GetHandle(), &bad.overlapped, &bytes, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_REMOVED));
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(bad.header.DataUsed, 0u);

    // Our own cancellation reads back as ERROR_OPERATION_ABORTED.
    Packet cancelled(480 * 4, false);
    ASSERT_EQ(pin->SetState(KSSTATE_PAUSE), S_OK);
    ASSERT_EQ(pin->ReadData(&cancelled.header, &cancelled.overlapped), S_OK);
    EXPECT_TRUE(platform::CancelIoEx(pin->GetHandle(), &cancelled.overlapped));
    EXPECT_FALSE(
        platform::GetOverlappedResult(pin->GetHandle(), &cancelled.overlapped, &bytes, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
}

TEST_F(KsStreamTest, AFailingStateChangeIsRefusedAndLeavesThePinWhereItWas) {
    sim::Config config = sim::DefaultConfig();
    config.faults.failStateTo = KSSTATE_RUN;
    config.faults.failStateError = ERROR_GEN_FAILURE;
    Use(config);
    CKsAudPin* pin = StartPin(true, 48000);
    EXPECT_EQ(pin->SetState(KSSTATE_RUN), E_FAIL);
    EXPECT_EQ(sim::StateHistory(0, 0).back(), KSSTATE_PAUSE);
}

// Every frame of a capture stream differs from its neighbours over a long
// stretch, whatever the frame size, so swapped or repeated packets show.
TEST(CaptureFrames, AreDistinctOverALongPeriodForEveryFrameSize) {
    for (size_t frameBytes : {2u, 4u, 6u, 8u, 16u}) {
        SCOPED_TRACE(frameBytes);
        const uint64_t period = frameBytes == 2 ? 65536 : 200000;
        std::set<std::vector<uint8_t>> seen;
        std::vector<uint8_t> frame(frameBytes);
        for (uint64_t n = 0; n < period; ++n) {
            sim::CaptureFrame(n, frameBytes, frame.data());
            seen.insert(frame);
        }
        EXPECT_EQ(seen.size(), period);
    }
}

}  // namespace
}  // namespace kstest
