// Buffer sizes and latencies from what the endpoints really run. An
// exclusive event-driven stream's period is the host's buffer exactly, so
// every size offered must pass the endpoint's minimum period (after the
// truncation to 100-ns units the stream set-up uses), stay within the
// system's 500 ms limit, and satisfy the buffer alignment the device
// demands, which Windows reveals only by refusing a size and naming the
// next aligned one.
#include <numeric>

#include "asio/core/buffer_math.h"
#include "asio/wasapi/wasapi_backend.h"
#include "common/rate_table.h"

namespace veltrano::asio {
namespace {

constexpr int64_t kMaxExclusive100ns = 5000000;  // 500 ms
constexpr int64_t kDriverMinimum100ns = kMinDuration100ns;

// The period the stream set-up asks for a buffer of `frames`.
constexpr int64_t PeriodOf(uint32_t frames, uint32_t rate) {
    return int64_t{frames} * 10000000 / rate;
}

// The fewest frames whose period is at least `duration`.
uint32_t FramesAtLeast(int64_t duration, uint32_t rate) {
    auto frames = static_cast<uint32_t>((duration * rate + 9999999) / 10000000);
    while (PeriodOf(frames, rate) < duration) ++frames;
    return frames;
}

uint32_t RoundUp(uint32_t value, uint32_t step) { return (value + step - 1) / step * step; }

}  // namespace

// Tries `frames` on a fresh client and returns the size the endpoint would
// run instead: `frames` itself, the aligned size Windows names with
// AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED, or the size it rounded to. 0 when the
// endpoint cannot tell (refused, busy, gone).
uint32_t WasapiBackend::NextRunnableSize(IMMDevice* endpoint, uint32_t rate, int container,
                                         int valid, uint32_t frames) const {
    ComPtr<IAudioClient> client;
    if (FAILED(endpoint->Activate(__uuidof(IAudioClient), CLSCTX_INPROC_SERVER, nullptr,
                                  reinterpret_cast<void**>(client.GetAddressOf()))) ||
        !client) {
        return 0;
    }
    const WAVEFORMATEXTENSIBLE format = PcmFormat(rate, 2, container, valid);
    const REFERENCE_TIME period = PeriodOf(frames, rate);
    const HRESULT hr = client->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE,
                                          AUDCLNT_STREAMFLAGS_EVENTCALLBACK, period, period,
                                          &format.Format, nullptr);
    if (hr != AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED && FAILED(hr)) return 0;
    UINT32 runs = 0;
    if (FAILED(client->GetBufferSize(&runs)) || runs < frames) return 0;
    return runs;
}

bool WasapiBackend::LearnRule(IMMDevice* endpoint, uint32_t rate, int container, int valid,
                              SizeRule& rule) const {
    REFERENCE_TIME defaultPeriod = 0;
    REFERENCE_TIME minimumPeriod = 0;
    ComPtr<IAudioClient> client;
    if (endpoint == nullptr ||
        FAILED(endpoint->Activate(__uuidof(IAudioClient), CLSCTX_INPROC_SERVER, nullptr,
                                  reinterpret_cast<void**>(client.GetAddressOf()))) ||
        !client || FAILED(client->GetDevicePeriod(&defaultPeriod, &minimumPeriod))) {
        return false;
    }
    client.Reset();
    const int64_t floor =
        minimumPeriod > kDriverMinimum100ns ? minimumPeriod : kDriverMinimum100ns;
    const uint32_t lowest = FramesAtLeast(floor, rate);
    uint32_t highest = static_cast<uint32_t>(kMaxExclusive100ns * rate / 10000000);
    while (highest > 0 && PeriodOf(highest, rate) > kMaxExclusive100ns) --highest;
    if (lowest > highest) return false;
    // Two runnable sizes in a row give the step between them.
    const uint32_t first = NextRunnableSize(endpoint, rate, container, valid, lowest);
    if (first == 0) return false;
    const uint32_t second = NextRunnableSize(endpoint, rate, container, valid, first + 1);
    // Alignment makes the runnable sizes the multiples of the step, the
    // first of them included.
    const uint32_t step = second > first ? second - first : 1;
    const uint32_t minimum = first;
    rule.minimum = minimum;
    rule.step = step;
    rule.maximum = minimum + (highest >= minimum ? (highest - minimum) / step * step : 0);
    rule.known = rule.maximum >= rule.minimum;
    return rule.known;
}

// The rule at one rate for both directions, learnt once per init and
// width (the endpoints must be free to try sizes, so before any stream of
// this object is open).
WasapiBackend::SizeRule WasapiBackend::RuleFor(const DriverState& driver, uint32_t rate,
                                               bool nativeDsd) {
    const int index = RateIndex(rate);
    const int bits = nativeDsd ? 32 : driver.bitsPerSample;
    SizeRule fallback;
    if (index < 0 || rate == 0) return fallback;
    SizeRule& cached = (nativeDsd ? m_dsdSizeRules : m_sizeRules)[static_cast<size_t>(index)];
    if (cached.known && cached.bits == bits) return cached;

    SizeRule out;
    if (!LearnRule(m_render.Get(), rate, ContainerBits(bits), bits, out)) {
        // Nothing learnt (the endpoint is busy, say): the driver's own
        // minimum, any size.
        fallback.minimum = FramesAtLeast(kDriverMinimum100ns, rate);
        fallback.maximum = static_cast<uint32_t>(kMaxExclusive100ns * rate / 10000000);
        fallback.step = 1;
        fallback.bits = bits;
        return fallback;
    }
    SizeRule in;
    if (m_capture && LearnRule(m_capture.Get(), rate, bits, bits, in)) {
        // Sizes both directions run: multiples of both steps from the
        // larger minimum.
        const uint32_t step = std::lcm(out.step, in.step);
        const uint32_t lowest = out.minimum > in.minimum ? out.minimum : in.minimum;
        out.minimum = step > 1 ? RoundUp(lowest, step) : lowest;
        out.step = step;
        const uint32_t highest = out.maximum < in.maximum ? out.maximum : in.maximum;
        out.maximum = highest >= out.minimum
                          ? out.minimum + (highest - out.minimum) / step * step
                          : out.minimum;
    }
    out.bits = bits;
    out.known = true;
    cached = out;
    return out;
}

bool WasapiBackend::BufferSizes(const DriverState& driver, BufferSizeRange& sizes) {
    const bool dsd = IsDsdRate(static_cast<double>(driver.asioRate));
    const SizeRule rule = RuleFor(driver, driver.pcmRate, dsd);
    if (rule.minimum == 0) return false;
    // The user's preferred duration, on the nearest runnable size.
    const auto wanted = static_cast<uint32_t>(
        int64_t{driver.pcmRate} * EffectiveDuration(driver.bufferDuration) / 10000000);
    uint32_t preferred = rule.minimum;
    if (wanted > rule.minimum) {
        const uint32_t below = rule.minimum + (wanted - rule.minimum) / rule.step * rule.step;
        preferred = wanted - below <= rule.step / 2 ? below : below + rule.step;
    }
    if (preferred > rule.maximum) preferred = rule.maximum;
    const long scale = dsd ? 32 : 1;  // the host counts DSD samples
    sizes.minimum = static_cast<long>(rule.minimum) * scale;
    sizes.maximum = static_cast<long>(rule.maximum) * scale;
    sizes.preferred = static_cast<long>(preferred) * scale;
    sizes.granularity = static_cast<long>(rule.step) * scale;
    return true;
}

// What the data really has, in host frames of a buffer of P, counted from
// the device clock's boundary at which a switch is made. Output alone, a
// switch is made at the render event of its boundary; the output the host
// writes goes to the endpoint at the next one and plays after the period
// queued ahead of it: three buffers out. With input running, a switch waits
// for the capture packet of its period, which arrives one boundary later,
// and its output goes out a period later to leave the capture clock a whole
// period of slack: three buffers out again, and the input handed over began
// one buffer before the switch.
bool WasapiBackend::Latencies(const DriverState& driver, long& input, long& output) {
    const bool prepared = driver.state >= kStatePrepared;
    long frames = prepared ? driver.bufferSize : 0;
    if (frames == 0) {
        BufferSizeRange sizes;
        if (!BufferSizes(driver, sizes)) return false;
        frames = sizes.preferred;
    }
    input = frames;
    output = 3 * frames;
    return true;
}

}  // namespace veltrano::asio
