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

namespace veltrano::asio {

// A handle closed when its owner goes.
class OwnedHandle {
public:
    OwnedHandle() = default;
    ~OwnedHandle() { Reset(); }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    HANDLE get() const { return m_handle; }
    void Reset(HANDLE handle = nullptr) {
        if (m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
        m_handle = handle;
    }
    explicit operator bool() const {
        return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_handle = nullptr;
};

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
    bool ChannelActive(const ChannelRoute& route) const override;
    void Shutdown() override;

private:
    enum Control { kExit = 0, kStart = 1, kStop = 2, kResetCheck = 3, kControlCount = 4 };
    static constexpr int kWaitCount = 64;
    static constexpr int kFirstOutput = 4;
    static constexpr int kFirstInput = kFirstOutput + kMaxStreamsPerSlot;

    using StreamSlots = std::array<std::array<EndpointStream, kMaxStreamsPerSlot>, kRateCount>;

    bool Packed(int bitsPerSample) const { return bitsPerSample == 24 && m_packed24In32; }
    int ContainerBits(int bitsPerSample) const {
        return Packed(bitsPerSample) ? 32 : bitsPerSample;
    }
    HRESULT CreateSyncObjects();
    HRESULT OpenStream(EndpointStream& stream, Direction direction, uint32_t rate, int container,
                       int valid, uint32_t channels);
    bool WaitAcknowledge();

    // Streaming side (streaming_thread.cpp).
    static DWORD WINAPI StreamingThread(void* self);
    static DWORD WINAPI WatchdogThread(void* self);
    void RunStreaming();
    void FillWaitArray(HANDLE* handles);
    void StartStreams();
    void StopStreams();
    void ArmWatchdog();
    void SendPendingDopCommand();
    void FlushDopCommand();
    void ServeStream(Direction direction, uint32_t stream);
    void WriteOutput(RateSlot& slot, uint32_t stream, int half);
    void ReadInput(RateSlot& slot, uint32_t stream, int half);
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

    OwnedHandle m_control[kControlCount];
    OwnedHandle m_acknowledge;
    OwnedHandle m_watchdogExit;
    OwnedHandle m_watchdogTimer;
    // The DSD-over-PCM on command leaves the streaming thread through these:
    // opening the HID interface blocks, so the watchdog thread sends it.
    OwnedHandle m_dopCommand;
    OwnedHandle m_dopCommandSent;
    volatile LONG m_dopSendPending = 0;
    OwnedHandle m_streamingThread;
    OwnedHandle m_watchdogThread;
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
    bool m_running = false;
    uint32_t m_activeDirections = 0;
    uint32_t m_streamMask[kDirectionCount][2] = {};
    uint32_t m_directionMask[2] = {};
    ASIOTime m_time{};
};

}  // namespace veltrano::asio
