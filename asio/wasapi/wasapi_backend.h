#pragma once
// The WASAPI back end: the device's render and capture endpoints in
// exclusive event-driven mode, one stream per endpoint with the host's
// buffer size as its period, and a streaming thread that serves each
// stream's period as its event arrives.

#include <windows.h>

#include <array>

#include "asio/core/asio_backend.h"
#include "asio/wasapi/endpoint_search.h"
#include "asio/wasapi/endpoint_stream.h"
#include "common/rate_table.h"
#include "common/win_owners.h"

namespace veltrano::asio {

class WasapiBackend final : public AsioBackend {
public:
    WasapiBackend() = default;
    ~WasapiBackend() override { Shutdown(); }

    HRESULT Discover(DeviceIdentity& identity) override;
    int ClaimState() const override { return kStateUnloaded; }
    HRESULT Acquire(const DriverState& driver) override;
    void BuildTable(Direction direction, int bitsPerSample, DirectionSlots& slots) override;
    ASIOError AllocateChannels(DriverState& driver, Direction direction, RateSlot& slot,
                               ASIOBufferInfo* infos, long count, long bufferSize) override;
    void ReleaseChannels(DriverState& driver, Direction direction, RateSlot& slot) override;
    ASIOError StartThreads(DriverState& driver) override;
    void StopThreads(DriverState& driver) override;
    ASIOError OnStart(DriverState& driver, bool transition) override;
    ASIOError OnStop(DriverState& driver, bool transition) override;
    ASIOError OutputReady(DriverState&) override { return ASE_OK; }
    long ChannelGroup(Direction, const ChannelRoute&) const override { return 0; }
    ASIOSampleType PcmSampleType(Direction direction, int bitsPerSample) const override;
    bool BufferSizes(const DriverState& driver, BufferSizeRange& sizes) override;
    bool Latencies(const DriverState& driver, long& input, long& output) override;
    bool ChannelActive(const ChannelRoute& route) const override;
    void Shutdown() override;

private:
    enum Control { kExit = 0, kStart = 1, kStop = 2, kResetCheck = 3, kControlCount = 4 };
    static constexpr int kWaitCount = 64;
    static constexpr DWORD kThreadEndMs = 5000;
    static constexpr DWORD kAcknowledgeMs = 5000;
    static constexpr int kFirstOutput = 4;
    static constexpr int kFirstInput = kFirstOutput + kMaxStreamsPerSlot;
    // Losses this few switches after the last one told are the same burst.
    static constexpr int64_t kResyncBurstSwitches = 4;

    using StreamSlots = std::array<std::array<EndpointStream, kMaxStreamsPerSlot>, kRateCount>;

    bool Packed(int bitsPerSample) const { return bitsPerSample == 24 && m_packed24In32; }
    int ContainerBits(int bitsPerSample) const {
        return Packed(bitsPerSample) ? 32 : bitsPerSample;
    }
    // Buffer sizes the endpoints run at one rate, in device frames: every
    // minimum + k x step up to maximum opens (buffer_sizes.cpp).
    struct SizeRule {
        bool known = false;
        int bits = 0;  // the width the rule was learnt for
        uint32_t minimum = 0;
        uint32_t step = 1;
        uint32_t maximum = 0;
    };
    SizeRule RuleFor(const DriverState& driver, uint32_t rate, bool nativeDsd);
    uint32_t NextRunnableSize(IMMDevice* endpoint, uint32_t rate, int container, int valid,
                              uint32_t frames) const;
    bool LearnRule(IMMDevice* endpoint, uint32_t rate, int container, int valid, SizeRule& rule) const;

    HRESULT CreateSyncObjects();
    HRESULT OpenStream(EndpointStream& stream, Direction direction, uint32_t rate, int container,
                       int valid, uint32_t channels);
    bool WaitAcknowledge();

    // Streaming side: thread control (streaming_thread.cpp), one event
    // served and its switches (period_dispatch.cpp), one output period
    // (output_transfer.cpp), one capture packet (input_transfer.cpp).
    static DWORD WINAPI StreamingThread(void* self);
    static DWORD WINAPI WatchdogThread(void* self);
    void RunStreaming();
    void FillWaitArray(HANDLE* handles);
    void StartStreams();
    void StopStreams();
    // Stop as the stop command does, on the streaming thread: the streams
    // stop and forget what they hold, the host's halves are cleared.
    void StopTransport();
    void ResetAndClear();
    bool OnStreamingThread() const { return GetCurrentThreadId() == m_threadId; }
    // Input runs with output beside it (the output lead is 2 then).
    bool BothWays() const { return m_outputLead == 2; }
    void DispatchDue();
    void DeviceLost();
    void RequestResync();
    void TellResync();
    void CheckOutputPosition(EndpointStream& stream, uint32_t s);
    uint64_t OutputPeriodsLost();
    bool MatchInputToOutput(RateSlot& slot, const EndpointStream& stream, uint32_t s,
                            uint64_t packetsLost, int64_t& period);
    bool PayInputDebt(RateSlot& slot, const EndpointStream& stream, uint32_t s,
                      int64_t& period);
    void ArmWatchdog();
    void SendPendingDopCommand();
    void FlushDopCommand();
    // kPeriod: the stream's next period moved; kGap: a capture packet was
    // dropped and its period waits for the next one; kNone: the event asked
    // for nothing.
    enum class Served { kPeriod, kGap, kNone, kDeviceLost };
    void ServeStream(Direction direction, uint32_t stream);
    Served WriteOutput(RateSlot& slot, EndpointStream& stream, uint32_t s, int64_t period);
    Served ReadInput(RateSlot& slot, EndpointStream& stream, uint32_t s, int64_t period);
    void Dispatch(int half);
    void ScanForDop(const uint8_t* samples, size_t frames, size_t sampleBytes);

    // Endpoints held from init to destruction.
    ComPtr<IMMDevice> m_render;
    ComPtr<IMMDevice> m_capture;
    bool m_hasInput = false;
    bool m_packed24In32 = false;
    uint16_t m_vendorId = 0;
    uint16_t m_productId = 0;
    std::array<StreamSlots, kDirectionCount> m_streams{};
    std::array<SizeRule, kRateCount> m_sizeRules{};
    std::array<SizeRule, kRateCount> m_dsdSizeRules{};

    UniqueHandle m_control[kControlCount];
    UniqueHandle m_acknowledge;
    UniqueHandle m_watchdogExit;
    UniqueHandle m_watchdogTimer;
    // The DSD-over-PCM on command leaves the streaming thread through these:
    // opening the HID interface blocks, so the watchdog thread sends it.
    UniqueHandle m_dopCommand;
    UniqueHandle m_dopCommandSent;
    volatile LONG m_dopSendPending = 0;
    UniqueHandle m_streamingThread;
    UniqueHandle m_watchdogThread;
    // A streaming thread told to end from inside its own callback: it
    // leaves once the callback returns, and is waited for before the next
    // set starts or the object ends.
    UniqueHandle m_leavingThread;
    UniqueHandle m_stuckWatchdog;
    // Host halves of a set whose streaming thread had not yet left when the
    // set went (the host's callback may still be writing them): freed once
    // that thread has ended.
    static constexpr size_t kMaxDeferredHalves = 2 * 2 * kMaxChannelsPerSlot;
    std::array<void*, kMaxDeferredHalves> m_deferredHalves{};
    size_t m_deferredCount = 0;
    bool LeavingThreadRuns() const;
    // Waits (bounded) for a thread that is leaving, then frees what it may
    // have used; false while it is still out.
    bool SettleLeavingThread();
    DWORD m_threadId = 0;
    volatile LONG m_restartRequest = 0;
    volatile LONG m_stopped = 0;

    // Streaming thread only, between StartThreads and StopThreads.
    DriverState* m_driver = nullptr;
    // The set's sample layout, fixed at createBuffers: the host may change
    // the driver's width (a native DSD channel query) while streams run.
    uint32_t m_period = 0;  // frames per buffer half
    bool m_nativeDsd = false;
    size_t m_outputBytes = 0;   // per sample, host and device alike
    size_t m_inputBytes = 0;    // per sample in the device's stream
    bool m_widenInput = false;  // 24-bit input handed over in 32-bit words
    uint32_t m_hostFramesPerPeriod = 0;  // DSD samples in native DSD
    size_t m_halfBytes = 0;              // each host half
    bool m_running = false;
    // Teardown asked for from inside a callback, or while the thread was
    // held in one past the bound: the thread leaves once it returns.
    volatile bool m_leaveNow = false;
    bool m_deviceLost = false;
    bool m_lostAtStart = false;
    bool m_resyncDue = false;  // time was lost; told once the period is done
    uint32_t m_activeDirections = 0;
    // Periods each stream has served since the start. Switch k uses half
    // k mod 2 and waits for period k - 1 of every input stream; output
    // period j carries switch j - m_outputLead, so switch k also waits until
    // the output period that plays what the half held before has gone out.
    int64_t m_served[kDirectionCount][kMaxStreamsPerSlot] = {};
    // Output alone, a switch is made at the render event that needs it: the
    // next period carries it. Both ways, a switch waits for its capture
    // packet, which the capture clock may hand over up to a period after
    // the render event: the output then plays a switch a period later, so
    // a capture packet may come a whole period late and still be heard.
    int64_t m_outputLead = 1;
    uint64_t m_written[kMaxStreamsPerSlot] = {};  // output frames released
    uint64_t m_lostPeriods[kMaxStreamsPerSlot] = {};  // played as silence
    // The device position the next capture packet of each input stream
    // should start at: a packet further on follows lost data.
    uint64_t m_inputNext[kMaxStreamsPerSlot] = {};
    // Per input stream: the output's lost periods it has matched so far,
    // and the periods it owes (positive: capture packets to drop, the
    // output lost time the input did not; negative: switches to hand
    // silence, the engine dropped packets the output did not lose).
    uint64_t m_outputLossSeen[kMaxStreamsPerSlot] = {};
    int64_t m_inputOwed[kMaxStreamsPerSlot] = {};
    bool m_debtTold[kMaxStreamsPerSlot] = {};  // the host heard of the debt
    // The switch count when the host was last asked to resync (-1: not
    // since the start).
    int64_t m_resyncToldAt = -1;
    ASIOTime m_time{};
};

}  // namespace veltrano::asio
