#include "tools/probe/probe_stream.h"

#include <windows.h>

#include <cmath>
#include <cstring>
#include <utility>

#include "common/win_owners.h"
#include "tools/probe/probe_options.h"

namespace veltrano::probe {
namespace {

using Event = UniqueHandle;

// Everything the callbacks touch, prepared before createBuffers. The ASIO
// callbacks carry no context pointer, so it is reached through one global.
struct Session {
    const StreamPlan* plan = nullptr;
    StreamResult* result = nullptr;
    std::vector<ASIOBufferInfo> infos;  // outputs first, then inputs
    TestSignal* signal = nullptr;
    SwitchStatistics* stats = nullptr;
    size_t outBytes = 0;
    size_t inBytes = 0;
    long total = 0;
    volatile LONG done = 0;
    volatile LONG timeInfoSeen = 0;
    bool postOutput = false;
    HANDLE finished = nullptr;
    HANDLE reset = nullptr;
};

Session* g_session = nullptr;

int64_t Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

void OnSwitch(long index) {
    Session* s = g_session;
    if (s == nullptr || index < 0 || index > 1) return;
    s->stats->Record(Now());
    const long n = s->done;
    const bool keep = n < s->total;
    for (long c = 0; c < s->plan->outputs; ++c) {
        auto* half = static_cast<uint8_t*>(s->infos[static_cast<size_t>(c)].buffers[index]);
        if (!keep) {
            std::memset(half, 0, s->outBytes);  // silence until the main thread stops
            continue;
        }
        s->signal->Fill(static_cast<int>(c), half, s->plan->bufferSize);
        std::memcpy(s->result->played[static_cast<size_t>(c)].data() + n * s->outBytes, half,
                    s->outBytes);
    }
    if (keep) {
        for (long c = 0; c < s->plan->inputs; ++c) {
            const auto* half = static_cast<const uint8_t*>(
                s->infos[static_cast<size_t>(s->plan->outputs + c)].buffers[index]);
            std::memcpy(s->result->recorded[static_cast<size_t>(c)].data() + n * s->inBytes, half,
                        s->inBytes);
        }
    }
    if (s->postOutput) s->plan->driver->outputReady();
    if (keep) {
        s->done = n + 1;
        if (n + 1 == s->total) SetEvent(s->finished);
    }
}

void VELTRANO_ASIO_CALLBACK BufferSwitch(long index, ASIOBool) { OnSwitch(index); }

ASIOTime* VELTRANO_ASIO_CALLBACK BufferSwitchTimeInfo(ASIOTime* params, long index, ASIOBool) {
    if (g_session != nullptr) g_session->timeInfoSeen = 1;
    OnSwitch(index);
    return params;
}

void VELTRANO_ASIO_CALLBACK SampleRateDidChange(ASIOSampleRate) {}

long VELTRANO_ASIO_CALLBACK AsioMessage(long selector, long value, void*, double*) {
    Session* s = g_session;
    switch (selector) {
        case kAsioSelectorSupported:
            return value == kAsioSelectorSupported || value == kAsioEngineVersion ||
                           value == kAsioResetRequest || value == kAsioSupportsTimeInfo
                       ? 1
                       : 0;
        case kAsioEngineVersion:
            return 2;
        case kAsioResetRequest:
            if (s != nullptr) {
                ++s->result->resetRequests;
                SetEvent(s->reset);
            }
            return 1;
        case kAsioSupportsTimeInfo:
            return s != nullptr && s->plan->timeInfo ? 1 : 0;
        default:
            return 0;
    }
}

ASIOCallbacks g_callbacks = {&BufferSwitch, &SampleRateDidChange, &AsioMessage,
                             &BufferSwitchTimeInfo};

StreamResult Fail(StreamResult& r, int code, const std::string& why) {
    r.exitCode = code;
    r.error = why;
    return std::move(r);
}

}  // namespace

StreamResult RunStream(const StreamPlan& plan) {
    StreamResult r;
    if (plan.driver == nullptr || plan.rate <= 0 || plan.bufferSize <= 0 || plan.outputs <= 0)
        return Fail(r, kExitStreamFailed, "nothing to stream");

    Session s;
    s.plan = &plan;
    s.result = &r;
    s.outBytes = ChannelBytes(plan.outputFormat, plan.bufferSize);
    s.inBytes = ChannelBytes(plan.inputFormat, plan.bufferSize);
    s.total = static_cast<long>(std::ceil(plan.seconds * plan.rate / plan.bufferSize));
    if (s.total < 2) s.total = 2;
    // Everything is kept in memory for the WAV files, whose sizes are 32-bit.
    const double fileBytes = static_cast<double>(s.outBytes) * s.total * plan.outputs;
    const double inFileBytes = static_cast<double>(s.inBytes) * s.total * plan.inputs;
    if (fileBytes > 0xFFFFFFF0 || inFileBytes > 0xFFFFFFF0)
        return Fail(r, kExitSetupFailed, "too long to keep in one WAV file; use fewer --seconds");
    r.channelBytes = s.outBytes * static_cast<size_t>(s.total);
    r.inputBytes = plan.inputs > 0 ? s.inBytes * static_cast<size_t>(s.total) : 0;
    r.played.assign(static_cast<size_t>(plan.outputs), std::vector<uint8_t>(r.channelBytes));
    r.recorded.assign(static_cast<size_t>(plan.inputs), std::vector<uint8_t>(r.inputBytes));
    TestSignal signal(plan.signal, plan.outputFormat, plan.rate, static_cast<int>(plan.outputs));
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    r.secondsPerTick = 1.0 / static_cast<double>(frequency.QuadPart);
    r.nominalPeriodSeconds = plan.bufferSize / plan.rate;
    SwitchStatistics stats(static_cast<size_t>(s.total) + 64,
                           static_cast<int64_t>(r.nominalPeriodSeconds * frequency.QuadPart));
    s.signal = &signal;
    s.stats = &stats;
    Event finished(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    Event reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!finished || !reset) return Fail(r, kExitStreamFailed, "cannot create events");
    s.finished = finished.get();
    s.reset = reset.get();

    for (long c = 0; c < plan.outputs; ++c) s.infos.push_back({ASIOFalse, c, {nullptr, nullptr}});
    for (long c = 0; c < plan.inputs; ++c) s.infos.push_back({ASIOTrue, c, {nullptr, nullptr}});

    g_session = &s;
    const ASIOError created = plan.driver->createBuffers(
        s.infos.data(), static_cast<long>(s.infos.size()), plan.bufferSize, &g_callbacks);
    if (created != ASE_OK) {
        g_session = nullptr;
        return Fail(r, kExitBuffersRefused,
                    "createBuffers refused (" + std::to_string(created) + ")");
    }
    for (const ASIOBufferInfo& info : s.infos) {
        if (info.buffers[0] == nullptr || info.buffers[1] == nullptr) {
            plan.driver->disposeBuffers();
            g_session = nullptr;
            return Fail(r, kExitBuffersRefused, "createBuffers returned null buffers");
        }
    }
    // Hosts announce outputReady support by calling it once; ASE_OK means the
    // driver wants it after every buffer is filled. Many older hosts never
    // call it at all.
    s.postOutput = plan.outputReady && plan.driver->outputReady() == ASE_OK;
    r.outputReadyUsed = s.postOutput;

    const ASIOError started = plan.driver->start();
    if (started != ASE_OK) {
        plan.driver->disposeBuffers();
        g_session = nullptr;
        return Fail(r, kExitStreamFailed, "start failed (" + std::to_string(started) + ")");
    }
    // Generous: a loaded machine must not turn a slow start into a failure.
    const DWORD limit = static_cast<DWORD>(plan.seconds * 1000.0 * 3) + 15000;
    HANDLE waits[2] = {s.finished, s.reset};
    const DWORD waited = WaitForMultipleObjects(2, waits, FALSE, limit);
    plan.driver->stop();
    plan.driver->disposeBuffers();
    g_session = nullptr;

    r.stats = stats.Summarize();
    r.timeInfoUsed = s.timeInfoSeen != 0;
    if (waited == WAIT_OBJECT_0 + 1) {
        return Fail(r, kExitStreamFailed,
                    "the driver asked for a reset after " + std::to_string(s.done) + " switches");
    }
    if (waited != WAIT_OBJECT_0) {
        return Fail(r, kExitStreamFailed,
                    "the driver stopped switching buffers after " + std::to_string(s.done) +
                        " of " + std::to_string(s.total));
    }
    return r;
}

}  // namespace veltrano::probe
