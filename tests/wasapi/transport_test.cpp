// The transport as hosts drive it: restarts, stops and teardowns from the
// callback thread, buffer sizes, latencies and positions, checked against
// what the virtual endpoints played and recorded on their own clocks.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/thread_class_expect.h"
#include "wasapi_fixture.h"

namespace veltrano::test {
namespace {

using Transport = WasapiTest;

struct Set {
    HostDriver driver;
    std::vector<ASIOBufferInfo> infos;
    ASIOCallbacks callbacks = HostCallbacks();
    ASIOError result = ASE_NotPresent;
    long frames = 0;

    Set(double rate, std::vector<ASIOBufferInfo> channels, long size, bool timeInfo = true)
        : infos(std::move(channels)), callbacks(HostCallbacks(timeInfo)), frames(size) {
        if (driver.created != S_OK || driver->init(nullptr) != ASIOTrue) return;
        if (driver->setSampleRate(rate) != ASE_OK) return;
        result = driver->createBuffers(infos.data(), static_cast<long>(infos.size()), frames,
                                       &callbacks);
    }
    int16_t* Half16(size_t info, long half) const {
        return static_cast<int16_t*>(infos[info].buffers[half]);
    }
    long long Position() const {
        ASIOSamples position{};
        driver.get()->getSamplePosition(&position, nullptr);
        return static_cast<long long>((uint64_t{position.hi} << 32) | position.lo);
    }
};

std::vector<ASIOBufferInfo> Stereo() { return {{ASIOFalse, 0, {}}, {ASIOFalse, 1, {}}}; }
std::vector<ASIOBufferInfo> StereoBothWays() {
    return {{ASIOFalse, 0, {}}, {ASIOFalse, 1, {}}, {ASIOTrue, 0, {}}, {ASIOTrue, 1, {}}};
}

// Runs `call` on another thread and says whether it came back in time: a
// hang fails the test instead of stalling the run.
bool ReturnsWithin(const std::function<void()>& call, DWORD ms) {
    struct Job {
        std::function<void()> call;
        static DWORD WINAPI Run(void* self) {
            static_cast<Job*>(self)->call();
            return 0;
        }
    };
    auto* job = new Job{call};
    HANDLE thread = CreateThread(nullptr, 0, Job::Run, job, 0, nullptr);
    if (thread == nullptr) return false;
    const bool done = WaitForSingleObject(thread, ms) == WAIT_OBJECT_0;
    CloseHandle(thread);
    if (done) delete job;  // a hung job is left to the process
    return done;
}

// 16-bit stereo recording as the left channel's samples.
std::vector<int16_t> LeftSamples(const sim::RenderRecording& r) {
    std::vector<int16_t> left(r.data.size() / 4);
    for (size_t f = 0; f < left.size(); ++f) std::memcpy(&left[f], &r.data[f * 4], 2);
    return left;
}

TEST_F(Transport, ARestartPlaysSilenceThenOnlyNewDataBothWays) {
    WriteSetting("BitsPerSample", 16);
    constexpr long kFrames = 480;
    Set set(48000.0, StereoBothWays(), kFrames);
    ASSERT_EQ(set.result, ASE_OK);
    std::atomic<int> run{1};
    std::atomic<int> count{0};
    std::vector<int64_t> firstInputFrames;
    firstInputFrames.reserve(64);
    SetSwitchWork([&](long half) {
        const int k = count++;
        const auto tag = static_cast<int16_t>(run * 1000 + k + 1);
        std::fill_n(set.Half16(0, half), kFrames, tag);
        std::fill_n(set.Half16(1, half), kFrames, tag);
        if (run == 2 && firstInputFrames.size() < 8) {
            const auto* in = reinterpret_cast<const uint8_t*>(set.Half16(2, half));
            const bool silent = std::all_of(in, in + kFrames * 2, [](uint8_t b) { return b == 0; });
            firstInputFrames.push_back(silent ? -1 : sim::CaptureFrameOf(in, 2, 0));
        }
    });
    uint32_t overrunsBefore = 0;
    int resyncsBefore = 0;
    for (int r = 1; r <= 2; ++r) {
        run = r;
        count = 0;
        overrunsBefore = sim::CaptureOverruns(0);
        resyncsBefore = Host().resyncRequests;
        const int before = Host().switches;
        ASSERT_EQ(set.driver->start(), ASE_OK);
        ASSERT_TRUE(WaitFor([&] { return Host().switches >= before + 10; }));
        ASSERT_EQ(set.driver->stop(), ASE_OK);
    }
    SetSwitchWork(nullptr);
    // Input after the restart: two silent switches, then the new run's
    // frames from its start (the third switch carries the third period).
    // A machine too loaded to read a packet in time loses it: that switch
    // hands over silence (a later period only if the output lost time as
    // well), never an old run's data, and the host is told time was lost.
    ASSERT_GE(firstInputFrames.size(), 3u);
    EXPECT_EQ(firstInputFrames[0], -1);
    EXPECT_EQ(firstInputFrames[1], -1);
    if (sim::CaptureOverruns(0) == overrunsBefore) {
        EXPECT_EQ(firstInputFrames[2], 2 * kFrames);
    } else {
        EXPECT_TRUE(firstInputFrames[2] == -1 || (firstInputFrames[2] > 2 * kFrames &&
                                                  firstInputFrames[2] % kFrames == 0))
            << firstInputFrames[2];
        EXPECT_GT(Host().resyncRequests, resyncsBefore);
    }

    const auto recordings = sim::RenderRecordings(0);
    ASSERT_EQ(recordings.size(), 1u);
    const std::vector<int16_t> left = LeftSamples(recordings[0]);
    size_t lastOld = 0, firstNew = left.size();
    for (size_t f = 0; f < left.size(); ++f) {
        if (left[f] > 1000 && left[f] < 2000) lastOld = f;
        if (left[f] > 2000 && firstNew == left.size()) firstNew = f;
    }
    std::string periods;
    for (size_t f = 0; f < left.size(); f += kFrames) periods += std::to_string(left[f]) + " ";
    ASSERT_LT(firstNew, left.size()) << periods;
    ASSERT_GT(lastOld, 0u) << periods;
    // Nothing of the first run after the second began, and at least the
    // prefill's silence between them.
    ASSERT_LT(lastOld, firstNew);
    EXPECT_GE(firstNew - lastOld - 1, static_cast<size_t>(kFrames));
    for (size_t f = lastOld + 1; f < firstNew; ++f) ASSERT_EQ(left[f], 0) << f;
    for (size_t f = firstNew; f < left.size(); ++f) {
        ASSERT_TRUE(left[f] == 0 || left[f] > 2000) << f << " " << left[f];
    }
    // The second run's data starts with its first switch's buffer.
    EXPECT_EQ(left[firstNew], 2001);
}

// Hosts stop from bufferSwitch and from bufferSwitchTimeInfo alike.
class StopInCallback : public WasapiTest, public ::testing::WithParamInterface<bool> {};

TEST_P(StopInCallback, ReturnsAndDisposeFromAnotherThreadToo) {
    Set set(48000.0, StereoBothWays(), 480, GetParam());
    ASSERT_EQ(set.result, ASE_OK);
    std::atomic<ASIOError> stopResult{ASE_NotPresent};
    SetSwitchWork([&](long) {
        if (Host().switches == 3) stopResult = set.driver->stop();
    });
    ASSERT_EQ(set.driver->start(), ASE_OK);
    ASSERT_TRUE(WaitFor([&] { return stopResult != ASE_NotPresent; }));
    EXPECT_EQ(stopResult, ASE_OK);
    Sleep(50);
    const int after = Host().switches;
    Sleep(100);
    EXPECT_EQ(Host().switches, after);  // stopped for real
    EXPECT_TRUE(ReturnsWithin([&] { set.driver->disposeBuffers(); }, 10000));
    SetSwitchWork(nullptr);
    // The set can be made again and streams.
    ASSERT_EQ(set.driver->createBuffers(set.infos.data(), 4, 480, &set.callbacks), ASE_OK);
    ASSERT_EQ(set.driver->start(), ASE_OK);
    ASSERT_TRUE(WaitFor([&] { return Host().switches >= after + 3; }));
    EXPECT_TRUE(ReturnsWithin([&] { set.driver->disposeBuffers(); }, 10000));
    EXPECT_EQ(Host().timeInfoCalls.load(), GetParam());
}

INSTANTIATE_TEST_SUITE_P(BothSwitches, StopInCallback, ::testing::Bool());

// A host that waits in its callback for its own teardown, made on another
// thread: the teardown returns in bounded time, the callback's halves stay
// writable until it returns, and the next set streams.
TEST_F(Transport, DisposeWhileTheCallbackWaitsForItReturns) {
    Set set(48000.0, StereoBothWays(), 480);
    ASSERT_EQ(set.result, ASE_OK);
    HANDLE disposed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(disposed, nullptr);
    std::atomic<int> held{0};
    std::atomic<bool> callbackDone{false};
    SetSwitchWork([&](long half) {
        if (held.exchange(1) != 0) return;
        WaitForSingleObject(disposed, 60000);
        // The halves handed out are still the host's to write.
        std::fill_n(set.Half16(0, half), 480, int16_t{7});
        callbackDone = true;
    });
    ASSERT_EQ(set.driver->start(), ASE_OK);
    ASSERT_TRUE(WaitFor([&] { return held == 1; }));
    EXPECT_TRUE(ReturnsWithin([&] { set.driver->disposeBuffers(); }, 30000));
    SetEvent(disposed);
    ASSERT_TRUE(WaitFor([&] { return callbackDone.load(); }));
    SetSwitchWork(nullptr);
    CloseHandle(disposed);
    const int after = Host().switches;
    ASSERT_EQ(set.driver->createBuffers(set.infos.data(), 4, 480, &set.callbacks), ASE_OK);
    ASSERT_EQ(set.driver->start(), ASE_OK);
    ASSERT_TRUE(WaitFor([&] { return Host().switches >= after + 3; }));
    EXPECT_TRUE(ReturnsWithin([&] { set.driver->disposeBuffers(); }, 10000));
}

// Hosts tear the whole set down from the reset message, on the driver's
// own thread; the driver must neither wait for itself nor touch what went.
TEST_F(Transport, DisposeFromTheResetMessageOnTheCallbackThreadReturns) {
    Set set(48000.0, StereoBothWays(), 480);
    ASSERT_EQ(set.result, ASE_OK);
    std::atomic<int> disposed{0};
    SetResetWork([&] {
        set.driver->stop();
        set.driver->disposeBuffers();
        ++disposed;
    });
    ASSERT_EQ(set.driver->start(), ASE_OK);
    ASSERT_TRUE(WaitFor([] { return Host().switches >= 3; }));
    {
        BlockView block;
        ASSERT_TRUE(block);
        block->resetRequest = 1;
    }
    ASSERT_TRUE(WaitFor([&] { return disposed == 1; }));
    SetResetWork(nullptr);
    const int after = Host().switches;
    Sleep(100);
    EXPECT_EQ(Host().switches, after);
    ASSERT_EQ(set.driver->createBuffers(set.infos.data(), 4, 480, &set.callbacks), ASE_OK);
    ASSERT_EQ(set.driver->start(), ASE_OK);
    ASSERT_TRUE(WaitFor([&] { return Host().switches >= after + 3; }));
    EXPECT_TRUE(ReturnsWithin([&] { set.driver->disposeBuffers(); }, 10000));
}

// Every size getBufferSize offers opens, at every rate and width, on
// endpoints with a minimum period and an alignment like real USB devices
// have (the alignment in bytes makes the frame steps differ by width).
class AdvertisedSizes : public WasapiTest, public ::testing::WithParamInterface<int> {};

TEST_P(AdvertisedSizes, OpenAtEveryRate) {
    sim::VirtualAudioConfig config;
    config.render[0].alignmentBytes = 128;
    config.render[0].minimumPeriod = 30000;
    config.capture[0].alignmentBytes = 64;
    config.capture[0].minimumPeriod = 20000;
    Configure(config);
    WriteSetting("BitsPerSample", GetParam());
    HostDriver driver;
    ASSERT_EQ(driver.created, S_OK);
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    std::vector<ASIOBufferInfo> infos = StereoBothWays();
    ASIOCallbacks callbacks = HostCallbacks();
    const double rates[] = {32000, 44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000,
                            2822400};
    for (double rate : rates) {
        ASSERT_EQ(driver->setSampleRate(rate), ASE_OK) << rate;
        long minimum = 0, maximum = 0, preferred = 0, step = 0;
        ASSERT_EQ(driver->getBufferSize(&minimum, &maximum, &preferred, &step), ASE_OK);
        ASSERT_GT(step, 0);
        EXPECT_LE(minimum, preferred);
        EXPECT_LE(preferred, maximum);
        EXPECT_EQ((preferred - minimum) % step, 0);
        EXPECT_EQ((maximum - minimum) % step, 0);
        // Within the system's 500 ms and above the device's 3 ms.
        EXPECT_LE(static_cast<double>(maximum) / rate, 0.5) << rate;
        EXPECT_GE(static_cast<double>(minimum) / rate, 0.003) << rate;
        for (long size : {minimum, minimum + step, preferred, maximum}) {
            EXPECT_EQ(driver->createBuffers(infos.data(), 4, size, &callbacks), ASE_OK)
                << rate << " Hz, " << size << " frames";
            EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, AdvertisedSizes, ::testing::Values(16, 24, 32));

// What one run measured, in frames on the endpoints' clocks: for each
// switch made before any time was lost, from the period boundary at which
// the switch was made to where its output begins in the recording, and
// from where its input began on the capture clock to that boundary.
struct LatencyRun {
    long input = 0;
    long output = 0;
    std::vector<long long> outputOffsets;
    std::vector<long long> inputOffsets;
};

LatencyRun MeasureLatencies(bool withInput, long frames) {
    LatencyRun run;
    sim::ConfigureVirtualAudio(sim::VirtualAudioConfig{});
    Host().resyncRequests = 0;
    Set set(48000.0, withInput ? StereoBothWays() : Stereo(), frames);
    if (set.result != ASE_OK) return run;
    set.driver->getLatencies(&run.input, &run.output);
    constexpr int kSwitches = 24;
    // Per switch (tagged k + 1): the boundary at which it was made, and the
    // first captured frame it handed over (-1: none).
    std::vector<long long> boundaries(kSwitches + 1, -1);
    std::vector<long long> captured(kSwitches + 1, -1);
    std::atomic<int> count{0};
    std::atomic<int> lastCleanTag{0};
    SetSwitchWork([&](long half) {
        const int tag = ++count;
        if (tag > kSwitches) return;
        std::fill_n(set.Half16(0, half), frames, static_cast<int16_t>(tag));
        std::fill_n(set.Half16(1, half), frames, static_cast<int16_t>(tag));
        if (Host().resyncRequests != 0 || sim::CaptureOverruns(0) != 0) return;
        // The switch follows the last period the driver served on either
        // clock; the boundary that period began at is the clock's, not the
        // time this thread woke.
        long long boundary = sim::ServedBoundary(true, 0);
        if (withInput) boundary = std::max<long long>(boundary, sim::ServedBoundary(false, 0));
        if (boundary < 0) return;
        boundaries[tag] = boundary * frames;
        if (withInput) {
            const auto* in = reinterpret_cast<const uint8_t*>(set.Half16(2, half));
            captured[tag] = sim::CaptureFrameOf(in, 2, 0);
        }
        lastCleanTag = tag;
    });
    if (set.driver->start() != ASE_OK) return run;
    WaitFor([&] { return count >= kSwitches + 4; });
    set.driver->stop();
    SetSwitchWork(nullptr);
    const auto recordings = sim::RenderRecordings(0);
    if (recordings.size() != 1) return run;
    const std::vector<int16_t> left = LeftSamples(recordings[0]);
    // After a glitch the device is later by what it played as silence, and
    // the host was told: only what came before counts.
    const std::vector<uint64_t>& glitches = recordings[0].glitchFrames;
    const long long end = glitches.empty() ? static_cast<long long>(left.size())
                                           : static_cast<long long>(glitches[0]);
    // A thread that woke a period late took its period in the next one
    // without the device running dry (the output has a period queued), so
    // the boundary it saw is not the one its buffer follows: only a switch
    // whose neighbours were made at the boundaries just before and after its
    // own measures anything.
    const auto keptTime = [&](int tag) {
        return tag > 1 && tag < lastCleanTag && boundaries[tag - 1] >= 0 &&
               boundaries[tag] - boundaries[tag - 1] == frames &&
               boundaries[tag + 1] - boundaries[tag] == frames;
    };
    for (int tag = 1; tag <= lastCleanTag; ++tag) {
        if (!keptTime(tag)) continue;
        const auto at = std::find(left.begin(), left.end(), static_cast<int16_t>(tag));
        if (at == left.end() || at - left.begin() >= end) break;
        run.outputOffsets.push_back((at - left.begin()) - boundaries[tag]);
        // A 16-bit sample names its frame modulo 2^15.
        constexpr long long kWrap = 1 << 15;
        if (captured[tag] >= 0) {
            run.inputOffsets.push_back(((boundaries[tag] - captured[tag]) % kWrap + kWrap) % kWrap);
        }
    }
    return run;
}

// The latencies reported are what the data has, counted on the virtual
// endpoints' clocks: output from the boundary at which a switch was made to
// its buffer's first frame in the recording, input from the first captured
// frame a switch hands over to that boundary. A run the machine starved
// before three buffers got through is tried again: it measures nothing.
TEST_F(Transport, ReportedLatenciesMatchTheRecordingOnTheDeviceClock) {
    WriteSetting("BitsPerSample", 16);
    constexpr long kFrames = 1920;  // 40 ms
    for (bool withInput : {true, false}) {
        SCOPED_TRACE(withInput ? "output and input" : "output only");
        LatencyRun run;
        for (int attempt = 0; attempt < 5; ++attempt) {
            run = MeasureLatencies(withInput, kFrames);
            if (run.outputOffsets.size() >= 3 && (!withInput || run.inputOffsets.size() >= 3)) {
                break;
            }
        }
        ASSERT_GE(run.outputOffsets.size(), 3u) << "every run lost time before three buffers";
        EXPECT_EQ(run.input, kFrames);
        for (long long offset : run.outputOffsets) {
            EXPECT_LE(std::llabs(offset - run.output), kFrames / 4) << offset;
        }
        if (withInput) {
            ASSERT_GE(run.inputOffsets.size(), 3u);
            for (long long offset : run.inputOffsets) {
                EXPECT_LE(std::llabs(offset - run.input), kFrames / 4) << offset;
            }
        }
        std::printf("latencies %s: reported in %ld out %ld; measured out %lld in %lld\n",
                    withInput ? "both ways" : "output only", run.input, run.output,
                    run.outputOffsets[0], run.inputOffsets.empty() ? -1 : run.inputOffsets[0]);
    }
}

TEST_F(Transport, NativeDsdPositionsCountDsdSamples) {
    Set set(2822400.0, Stereo(), 28224);
    ASSERT_EQ(set.result, ASE_OK);
    std::vector<long long> positions;
    positions.reserve(16);
    SetSwitchWork([&](long) {
        if (positions.size() < 8) positions.push_back(set.Position());
    });
    ASSERT_EQ(set.driver->start(), ASE_OK);
    ASSERT_TRUE(WaitFor([] { return Host().switches >= 5; }));
    ASSERT_EQ(set.driver->stop(), ASE_OK);
    SetSwitchWork(nullptr);
    ASSERT_GE(positions.size(), 4u);
    for (size_t i = 0; i < positions.size(); ++i) {
        EXPECT_EQ(positions[i], static_cast<long long>(i + 1) * 28224) << i;
    }
    // The time info speaks the host's units too: its first position is one
    // buffer of DSD samples, its rate the DSD rate the host set.
    EXPECT_EQ(Host().firstPosition, 28224);
    EXPECT_EQ(Host().timeInfoRate.load(), 2822400.0);
    long inputLatency = 0, outputLatency = 0;
    ASSERT_EQ(set.driver->getLatencies(&inputLatency, &outputLatency), ASE_OK);
    EXPECT_EQ(outputLatency, 3 * 28224);  // output alone: three buffers
}

TEST_F(Transport, TheUsersWidthComesBackWhenTheRateLeavesDsd) {
    WriteSetting("BitsPerSample", 24);
    HostDriver driver;
    ASSERT_EQ(driver.created, S_OK);
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASSERT_EQ(driver->setSampleRate(2822400.0), ASE_OK);
    ASIOChannelInfo info{};
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.type, ASIOSTDSDInt8MSB1);
    ASSERT_EQ(driver->setSampleRate(48000.0), ASE_OK);
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.type, ASIOSTInt24LSB);
    {
        BlockView block;
        ASSERT_TRUE(block);
        EXPECT_EQ(block->bitsPerSample, 24u);
    }
    std::vector<ASIOBufferInfo> infos = Stereo();
    ASIOCallbacks callbacks = HostCallbacks();
    ASSERT_EQ(driver->createBuffers(infos.data(), 2, 480, &callbacks), ASE_OK);
    const auto recordings = sim::RenderRecordings(0);
    ASSERT_EQ(recordings.size(), 1u);
    EXPECT_EQ(recordings[0].containerBits, 24);
}

TEST_F(Transport, AnUnplugWhileStreamingEndsInOneResetRequest) {
    Set set(48000.0, StereoBothWays(), 480);
    ASSERT_EQ(set.result, ASE_OK);
    ASSERT_EQ(set.driver->start(), ASE_OK);
    ASSERT_TRUE(WaitFor([] { return Host().switches >= 3; }));
    sim::UnplugVirtualDevice();
    ASSERT_TRUE(WaitFor([] { return Host().resetRequests >= 1; }));
    Sleep(2600);  // past the watchdog's two seconds
    EXPECT_EQ(Host().resetRequests, 1);
    EXPECT_TRUE(ReturnsWithin([&] { set.driver->stop(); }, 10000));
    EXPECT_TRUE(ReturnsWithin([&] { set.driver->disposeBuffers(); }, 10000));
    // A new set fails cleanly while the device is gone.
    EXPECT_NE(set.driver->createBuffers(set.infos.data(), 4, 480, &set.callbacks), ASE_OK);
}

// A host late in its callback makes the device play silence, but every
// buffer it filled is still played, in order, and it hears that time was
// lost. The short buffers where whole buffers used to vanish, output alone
// and both ways.
struct LateWake {
    double rate;
    long frames;
    bool withInput;
};

class LateWakes : public WasapiTest, public ::testing::WithParamInterface<LateWake> {};

TEST_P(LateWakes, LoseTimeButNoHostBuffer) {
    const LateWake c = GetParam();
    WriteSetting("BitsPerSample", 16);
    Set set(c.rate, c.withInput ? StereoBothWays() : Stereo(), c.frames);
    ASSERT_EQ(set.result, ASE_OK);
    const long kFrames = c.frames;
    const auto sixPeriodsMs = static_cast<DWORD>(6 * 1000.0 * c.frames / c.rate);
    std::atomic<int> count{0};
    SetSwitchWork([&](long half) {
        const int k = count++;
        std::fill_n(set.Half16(0, half), kFrames, static_cast<int16_t>(k + 1));
        std::fill_n(set.Half16(1, half), kFrames, static_cast<int16_t>(k + 1));
        if (k == 20) Sleep(sixPeriodsMs);
    });
    ASSERT_EQ(set.driver->start(), ASE_OK);
    ASSERT_TRUE(WaitFor([&] { return count >= 200; }));
    ASSERT_EQ(set.driver->stop(), ASE_OK);
    SetSwitchWork(nullptr);
    EXPECT_GE(Host().resyncRequests, 1);
    const auto recordings = sim::RenderRecordings(0);
    ASSERT_EQ(recordings.size(), 1u);
    EXPECT_GE(recordings[0].glitches, 1u);
    // The non-silent periods carry the switches' tags in order, each once.
    // Output alone loses no host buffer; with input, a buffer whose switch
    // came after its period went out as silence (its capture packet was
    // late) is dropped so the output keeps its latency: tags may be missing
    // then, never repeated or reordered, and only around a loss the devices
    // logged (each costs at most the buffers in flight), besides the sleep.
    const std::vector<int16_t> left = LeftSamples(recordings[0]);
    int16_t expected = 1;
    int heard = 0;
    for (size_t p = 0; p + kFrames <= left.size(); p += static_cast<size_t>(kFrames)) {
        if (left[p] == 0) continue;
        if (c.withInput) {
            ASSERT_GE(left[p], expected) << "period at frame " << p;
        } else {
            ASSERT_EQ(left[p], expected) << "period at frame " << p;
        }
        expected = static_cast<int16_t>(left[p] + 1);
        ++heard;
    }
    EXPECT_GE(expected, 150) << "the output went silent for good";
    if (c.withInput) {
        const auto disturbances = static_cast<int>(recordings[0].glitches + sim::CaptureOverruns(0));
        const int missing = expected - 1 - heard;
        std::printf("%.0f Hz, %ld frames: %d buffers of %d not heard, %d disturbances\n", c.rate,
                    c.frames, missing, expected - 1, disturbances);
        EXPECT_LE(missing, 4 * disturbances + 8);
    }
}

INSTANTIATE_TEST_SUITE_P(ShortBuffers, LateWakes,
                         ::testing::Values(LateWake{48000, 96, false}, LateWake{96000, 192, false},
                                           LateWake{192000, 384, false},
                                           LateWake{192000, 576, false}, LateWake{48000, 96, true},
                                           LateWake{96000, 192, true}, LateWake{192000, 384, true},
                                           LateWake{192000, 576, true}));

// Capture packets that come late or are lost at the shortest buffers, both
// ways. Each row: the buffer, the capture clock's phase behind the render
// clock and how late ten packets come, 25 periods apart (in periods).
struct LateCapture {
    const char* name;
    double rate;
    long frames;
    double phase;
    double delay;
    bool lost;  // the late packets never come
};

// What one run measured, before the late packets and after them: where
// each switch's output began in the recording less the switch's own place
// (tag x frames) and the device's underrun silence before it, and the
// round trip on the device clocks, from the first captured frame a switch
// handed over to where its output began in the recording.
struct LateCaptureRun {
    bool measured = false;
    long long outputBefore = LLONG_MIN;
    long long outputAfter = LLONG_MIN;
    long long roundTripBefore = LLONG_MIN;
    long long roundTripAfter = LLONG_MIN;
    long reportedOutput = 0;
    int silent = 0;  // periods the driver sent as silence once tags began
    int resyncs = 0;
    uint32_t underruns = 0;
    uint32_t overruns = 0;
};

long long MedianOf(std::vector<long long> values) {
    if (values.empty()) return LLONG_MIN;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

constexpr int kFirstLate = 150;
constexpr int kLate = 10;
constexpr int kEvery = 25;
// A switch whose output came within a few periods of an underrun does not
// measure the round trip (the input takes the output's loss on at its next
// packet, so the switches in flight are off by the loss for a moment), and
// a run with more underruns or capture overruns than a few measures the
// machine: the two directions count their losses apart, and a start the
// machine split by more than a period aligns them by when each began.
constexpr int kUnderrunShadow = 4;  // periods
constexpr int kMeasuredEachSide = 50;
constexpr uint32_t kMostDisturbances = 4;

LateCaptureRun RunWithLateCaptures(const LateCapture& c) {
    constexpr int kSwitches = kFirstLate + kLate * kEvery + 150;
    constexpr long long kWrap = 1 << 15;  // a 16-bit sample names its frame modulo 2^15
    const auto period = static_cast<int64_t>(c.frames * 10000000.0 / c.rate);
    LateCaptureRun run;
    sim::VirtualAudioConfig config;
    config.capture[0].capturePhase = static_cast<int64_t>(period * c.phase);
    config.capture[0].latePacketFrom = kFirstLate;
    config.capture[0].latePacketCount = kLate;
    config.capture[0].latePacketEvery = kEvery;
    config.capture[0].latePacketDelay = static_cast<int64_t>(period * c.delay);
    config.capture[0].latePacketsLost = c.lost;
    sim::ConfigureVirtualAudio(config);
    Host().resyncRequests = 0;
    Set set(c.rate, StereoBothWays(), c.frames);
    EXPECT_EQ(set.result, ASE_OK);
    if (set.result != ASE_OK) return run;
    long reportedInput = 0;
    set.driver->getLatencies(&reportedInput, &run.reportedOutput);
    std::vector<long long> captured(kSwitches + 1, LLONG_MIN);
    std::atomic<int> count{0};
    std::atomic<int> resyncsBefore{0};
    SetSwitchWork([&](long half) {
        const int tag = ++count;
        if (tag > kSwitches) return;
        // What the start cost (the two directions settling) is not counted.
        if (tag == kFirstLate / 2) resyncsBefore = Host().resyncRequests.load();
        std::fill_n(set.Half16(0, half), c.frames, static_cast<int16_t>(tag));
        std::fill_n(set.Half16(1, half), c.frames, static_cast<int16_t>(tag));
        const auto* in = reinterpret_cast<const uint8_t*>(set.Half16(2, half));
        captured[tag] = sim::CaptureFrameOf(in, 2, 0);
    });
    EXPECT_EQ(set.driver->start(), ASE_OK);
    EXPECT_TRUE(WaitFor([&] { return count >= kSwitches + 4; }, 30.0));
    set.driver->stop();
    SetSwitchWork(nullptr);
    run.resyncs = Host().resyncRequests - resyncsBefore;
    run.overruns = sim::CaptureOverruns(0);
    const auto recordings = sim::RenderRecordings(0);
    if (recordings.size() != 1) return run;
    const sim::RenderRecording& r = recordings[0];
    run.underruns = r.glitches;
    const std::vector<int16_t> left = LeftSamples(r);
    std::vector<long long> offset(kSwitches + 1, LLONG_MIN);
    std::vector<long long> roundTrip(kSwitches + 1, LLONG_MIN);
    size_t glitch = 0;
    long long cut = 0;
    long long lastGlitch = LLONG_MIN / 2;
    for (size_t f = 0; f < left.size(); ++f) {
        while (glitch < r.glitchFrames.size() && r.glitchFrames[glitch] <= f) {
            cut += r.periodFrames;
            lastGlitch = static_cast<long long>(r.glitchFrames[glitch]);
            ++glitch;
        }
        const int tag = left[f];
        if (tag <= 0 || tag > kSwitches || offset[tag] != LLONG_MIN) continue;
        const auto at = static_cast<long long>(f);
        offset[tag] = at - cut - static_cast<long long>(tag) * c.frames;
        if (captured[tag] < 0 || at - lastGlitch <= kUnderrunShadow * c.frames) continue;
        roundTrip[tag] = ((at - captured[tag]) % kWrap + kWrap) % kWrap;
    }
    bool begun = false;
    for (size_t f = 0; f + c.frames <= left.size(); f += c.frames) {
        begun = begun || left[f] != 0;
        const bool underrun =
            std::find(r.glitchFrames.begin(), r.glitchFrames.end(), f) != r.glitchFrames.end();
        run.silent += begun && left[f] == 0 && !underrun && left.size() - f > 8u * c.frames;
    }
    int measured[2] = {0, 0};
    auto median = [&](const std::vector<long long>& of, bool after) {
        const int from = after ? kFirstLate + kLate * kEvery : 3;
        const int to = after ? kSwitches - 4 : kFirstLate;
        std::vector<long long> found;
        for (int tag = from; tag < to; ++tag) {
            if (of[tag] != LLONG_MIN) found.push_back(of[tag]);
        }
        if (&of == &roundTrip) measured[after] = static_cast<int>(found.size());
        return MedianOf(found);
    };
    run.outputBefore = median(offset, false);
    run.outputAfter = median(offset, true);
    run.roundTripBefore = median(roundTrip, false);
    run.roundTripAfter = median(roundTrip, true);
    run.measured = measured[0] >= kMeasuredEachSide && measured[1] >= kMeasuredEachSide &&
                   run.underruns <= kMostDisturbances && run.overruns <= kMostDisturbances;
    std::printf("%s: %d periods sent silent, %u underruns, %u capture overruns, %d resync "
                "requests; output %lld -> %lld, round trip %lld -> %lld frames (%d, %d "
                "switches)\n",
                c.name, run.silent, run.underruns, run.overruns, run.resyncs, run.outputBefore,
                run.outputAfter, run.roundTripBefore, run.roundTripAfter, measured[0],
                measured[1]);
    return run;
}

class LateCaptures : public WasapiTest, public ::testing::WithParamInterface<LateCapture> {};

// A capture packet that comes too late for the output period its switch
// feeds, or never comes, costs at most that period (silence) and one
// resync request, never latency: after ten of them the output sits where it
// sat before, less the device's own underruns (which a loaded machine adds,
// and of which the host is told), and the round trip on the device clocks
// is what it was. The round trip is checked in
// the first run the machine did not starve; beside busy loops at the
// shortest buffers there may be none, and only the output is checked.
TEST_P(LateCaptures, LeaveBothLatenciesAsTheyWere) {
    const LateCapture c = GetParam();
    WriteSetting("BitsPerSample", 16);
    LateCaptureRun run;
    for (int attempt = 0; attempt < 8 && !run.measured; ++attempt) {
        run = RunWithLateCaptures(c);
        if (HasFailure()) return;
        // A run in which a loaded machine let no buffer through on one side
        // measures nothing about the output.
        if (run.outputBefore == LLONG_MIN || run.outputAfter == LLONG_MIN) continue;
        EXPECT_EQ(run.outputBefore, run.reportedOutput);
        EXPECT_EQ(run.outputAfter, run.outputBefore)
            << "the output latency grew by " << (run.outputAfter - run.outputBefore)
            << " frames";
        // The host heard of each loss once at most: a lost packet, a period
        // sent silent for want of its switch, an underrun, a packet the
        // loaded machine made the driver too late for, and one the devices
        // do not log (the two virtual clocks run on threads of their own,
        // so render events can come a period late without the device running
        // dry, and a capture packet that came meanwhile has no half to go
        // to).
        if (c.lost) {
            EXPECT_GE(run.resyncs, 1);
        }
        const int losses = (c.lost ? kLate : 0) + run.silent + static_cast<int>(run.underruns) +
                           static_cast<int>(run.overruns) + 1;
        EXPECT_LE(run.resyncs, losses) << "more than one request per loss";
    }
    if (!run.measured) {
        std::printf("%s: every run too starved to measure the round trip\n", c.name);
        return;
    }
    // Counted from each endpoint's own start: a machine slow enough to
    // start the two streams more than a period apart moves where the round
    // trip sits (the reported figures are checked against the clocks at
    // 40 ms), never that it stays there.
    EXPECT_EQ(run.roundTripAfter, run.roundTripBefore)
        << "the round trip moved by " << (run.roundTripAfter - run.roundTripBefore) << " frames";
}

INSTANTIATE_TEST_SUITE_P(
    ShortBuffers, LateCaptures,
    ::testing::Values(LateCapture{"late", 48000, 96, 0.75, 0.9, false},
                      LateCapture{"late480", 48000, 480, 0.5, 0.8, false},
                      LateCapture{"lost", 48000, 96, 0.5, 0, true},
                      LateCapture{"lost192k", 192000, 384, 0.5, 0, true}),
    [](const ::testing::TestParamInfo<LateCapture>& row) { return std::string(row.param.name); });

// The streaming thread runs in the scheduler's "Pro Audio" class while it
// lives, and streams as before where the system has no such class.
TEST_F(Transport, TheStreamingThreadJoinsTheProAudioClassForItsLifetime) {
    for (bool available : {true, false}) {
        SCOPED_TRACE(available ? "with avrt.dll" : "without avrt.dll");
        ::sim::ClearThreadClassCalls();
        ::sim::SetThreadClassAvailable(available);
        std::atomic<DWORD> switchThread{0};
        SetSwitchWork([&](long) { switchThread = GetCurrentThreadId(); });
        const int before = Host().switches;
        {
            Set set(48000.0, StereoBothWays(), 480);
            ASSERT_EQ(set.result, ASE_OK);
            ASSERT_EQ(set.driver->start(), ASE_OK);
            EXPECT_TRUE(WaitFor([&] { return Host().switches >= before + 3; }));
            EXPECT_EQ(set.driver->stop(), ASE_OK);
            EXPECT_EQ(set.driver->disposeBuffers(), ASE_OK);
        }
        SetSwitchWork(nullptr);
        ::sim::SetThreadClassAvailable(true);
        ExpectJoinedAndLeft(::sim::ThreadClassCalls(), switchThread, available);
    }
}

}  // namespace
}  // namespace veltrano::test
