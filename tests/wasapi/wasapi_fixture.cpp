#include "wasapi_fixture.h"

#include <algorithm>

#include "asio/core/driver_instance.h"

namespace veltrano::test {
namespace {

std::mutex g_commandLock;
std::vector<SentCommand> g_commands;
HostLog g_host;
std::mutex g_workLock;
std::function<void(long)> g_work;
std::function<void()> g_resetWork;
std::function<void()> g_rateWork;

void RunWork(long half) {
    std::function<void(long)> work;
    {
        std::lock_guard<std::mutex> guard(g_workLock);
        work = g_work;
    }
    if (work) work(half);
}

void Note(long half, long long position, unsigned long flags) {
    int expected = -1;
    if (g_host.firstHalf.compare_exchange_strong(expected, static_cast<int>(half))) {
        g_host.firstPosition = position;
        g_host.firstFlags = flags;
    }
}

void OnSwitch(long half, ASIOBool) {
    Note(half, -1, 0);
    RunWork(half);
    ++g_host.switches;
}

ASIOTime* OnSwitchTimeInfo(ASIOTime* time, long half, ASIOBool) {
    g_host.timeInfoCalls = true;
    g_host.timeInfoRate = time->timeInfo.sampleRate;
    const auto& pos = time->timeInfo.samplePosition;
    Note(half, static_cast<long long>((uint64_t{pos.hi} << 32) | pos.lo), time->timeInfo.flags);
    RunWork(half);
    ++g_host.switches;
    return time;
}

void OnRate(ASIOSampleRate) {
    ++g_host.rateNotices;
    std::function<void()> work;
    {
        std::lock_guard<std::mutex> guard(g_workLock);
        work = g_rateWork;
    }
    if (work) work();
}

long OnMessageTimeInfo(long selector, long, void*, double*) {
    switch (selector) {
        case kAsioEngineVersion:
            return 2;
        case kAsioSupportsTimeInfo:
            return 1;
        case kAsioResetRequest: {
            ++g_host.resetRequests;
            std::function<void()> work;
            {
                std::lock_guard<std::mutex> guard(g_workLock);
                work = g_resetWork;
            }
            if (work) work();
            return 1;
        }
        case kAsioResyncRequest:
            ++g_host.resyncRequests;
            return 1;
        default:
            return 0;
    }
}

long OnMessagePlain(long selector, long value, void* message, double* opt) {
    if (selector == kAsioSupportsTimeInfo) return 0;
    return OnMessageTimeInfo(selector, value, message, opt);
}

}  // namespace

}  // namespace veltrano::test

// The device's HID commands, recorded instead of sent.
namespace veltrano::asio {
void SendDeviceCommand(uint16_t vendorId, uint16_t productId, DeviceCommand command, bool on) {
    std::lock_guard<std::mutex> guard(test::g_commandLock);
    test::g_commands.push_back({command, on, vendorId, productId});
}
}  // namespace veltrano::asio

namespace veltrano::test {

HostDriver::HostDriver() {
    asio::CUnknown* object = asio::NewDriverObject(nullptr, kWasapiClsid);
    if (object == nullptr) {
        created = E_OUTOFMEMORY;
        return;
    }
    object->NonDelegatingAddRef();
    created = asio::DiscoverDevice(object);
    if (SUCCEEDED(created)) {
        created =
            object->NonDelegatingQueryInterface(kWasapiClsid, reinterpret_cast<void**>(&m_asio));
    }
    object->NonDelegatingRelease();
}

void HostDriver::Reset() {
    if (m_asio != nullptr) m_asio->Release();
    m_asio = nullptr;
}

BlockView::BlockView() {
    m_mapping = OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, kStatusBlockName);
    if (m_mapping == nullptr) return;
    m_view = static_cast<volatile AsioStatusBlock*>(
        MapViewOfFile(m_mapping, FILE_MAP_ALL_ACCESS, 0, 0, kStatusBlockSize));
}

BlockView::~BlockView() {
    if (m_view != nullptr) UnmapViewOfFile(const_cast<AsioStatusBlock*>(m_view));
    if (m_mapping != nullptr) CloseHandle(m_mapping);
}

std::vector<SentCommand> SentCommands() {
    std::lock_guard<std::mutex> guard(g_commandLock);
    return g_commands;
}

HostLog& Host() { return g_host; }

void SetSwitchWork(std::function<void(long)> work) {
    std::lock_guard<std::mutex> guard(g_workLock);
    g_work = std::move(work);
}

void SetResetWork(std::function<void()> work) {
    std::lock_guard<std::mutex> guard(g_workLock);
    g_resetWork = std::move(work);
}

void SetRateWork(std::function<void()> work) {
    std::lock_guard<std::mutex> guard(g_workLock);
    g_rateWork = std::move(work);
}

ASIOCallbacks HostCallbacks(bool timeInfo) {
    return {OnSwitch, OnRate, timeInfo ? OnMessageTimeInfo : OnMessagePlain, OnSwitchTimeInfo};
}

bool WaitFor(const std::function<bool()>& done, double seconds) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > static_cast<DWORD>(seconds * 1000)) return done();
        Sleep(5);
    }
    return true;
}

void WasapiTest::SetUp() {
    DeleteSettings();
    Configure(sim::VirtualAudioConfig{});
    {
        std::lock_guard<std::mutex> guard(g_commandLock);
        g_commands.clear();
    }
    SetSwitchWork(nullptr);
    SetResetWork(nullptr);
    SetRateWork(nullptr);
    g_host.switches = 0;
    g_host.resetRequests = 0;
    g_host.resyncRequests = 0;
    g_host.rateNotices = 0;
    g_host.firstHalf = -1;
    g_host.firstPosition = -1;
    g_host.firstFlags = 0;
    g_host.timeInfoCalls = false;
    g_host.timeInfoRate = 0.0;
}

void WasapiTest::TearDown() {
    SetSwitchWork(nullptr);
    SetResetWork(nullptr);
    SetRateWork(nullptr);
    // Every endpoint, client and service the driver took is given back.
    EXPECT_EQ(sim::LiveVirtualObjects(), 0);
    DeleteSettings();
}

void WasapiTest::Configure(const sim::VirtualAudioConfig& config) {
    sim::ConfigureVirtualAudio(config);
}

std::vector<uint8_t> WithoutUnderruns(const sim::RenderRecording& r) {
    const size_t frameBytes = size_t{r.channels} * r.containerBits / 8;
    std::vector<uint8_t> kept;
    size_t from = 0;
    for (uint64_t frame : r.glitchFrames) {
        const size_t at = static_cast<size_t>(frame) * frameBytes;
        if (at < from || at > r.data.size()) continue;
        kept.insert(kept.end(), r.data.begin() + from, r.data.begin() + at);
        from = std::min(r.data.size(), at + size_t{r.periodFrames} * frameBytes);
    }
    kept.insert(kept.end(), r.data.begin() + from, r.data.end());
    return kept;
}

}  // namespace veltrano::test
