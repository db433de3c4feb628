// veltrano-asio-probe: does what an ASIO host does with any registered
// driver and reports every answer, so a driver can be checked without a host.
#include <objbase.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "asio/core/asio_interface.h"
#include "common/rate_table.h"
#include "tools/probe/asio_driver_list.h"
#include "tools/probe/probe_options.h"
#include "tools/probe/probe_stream.h"
#include "tools/probe/wav_writer.h"

namespace {

using namespace veltrano::probe;

int Fail(int code, const std::string& message) {
    std::fprintf(stderr, "veltrano-asio-probe: %s\n", message.c_str());
    return code;
}

class ComApartment {
public:
    ComApartment() : m_ok(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ComApartment() {
        if (m_ok) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    bool ok() const { return m_ok; }

private:
    bool m_ok;
};

// The driver pointer, released before the apartment ends.
class DriverRef {
public:
    DriverRef() = default;
    ~DriverRef() {
        if (m_driver != nullptr) m_driver->Release();
    }
    DriverRef(const DriverRef&) = delete;
    DriverRef& operator=(const DriverRef&) = delete;
    IASIO* get() const { return m_driver; }
    void** put() { return reinterpret_cast<void**>(&m_driver); }

private:
    IASIO* m_driver = nullptr;
};

const char* TypeName(ASIOSampleType type) {
    switch (type) {
        case ASIOSTInt16LSB:
            return "Int16LSB";
        case ASIOSTInt24LSB:
            return "Int24LSB";
        case ASIOSTInt32LSB:
            return "Int32LSB";
        case ASIOSTFloat32LSB:
            return "Float32LSB";
        case ASIOSTFloat64LSB:
            return "Float64LSB";
        case ASIOSTInt32LSB16:
            return "Int32LSB16";
        case ASIOSTInt32LSB24:
            return "Int32LSB24";
        case ASIOSTDSDInt8LSB1:
            return "DSDInt8LSB1";
        case ASIOSTDSDInt8MSB1:
            return "DSDInt8MSB1";
        case ASIOSTDSDInt8NER8:
            return "DSDInt8NER8";
        default:
            return "other";
    }
}

bool ToFormat(ASIOSampleType type, SampleFormat& format) {
    switch (type) {
        case ASIOSTInt16LSB:
            format = SampleFormat::Int16;
            return true;
        case ASIOSTInt24LSB:
            format = SampleFormat::Int24;
            return true;
        case ASIOSTInt32LSB:
            format = SampleFormat::Int32;
            return true;
        case ASIOSTDSDInt8MSB1:
            format = SampleFormat::Dsd8Msb;
            return true;
        default:
            return false;
    }
}

// A name field copied out of a 32-byte driver buffer, terminated even when
// the driver filled all of it.
std::string Name(const char (&field)[32]) { return std::string(field, strnlen(field, 32)); }

int ListDrivers() {
    const auto drivers = ListAsioDrivers();
    if (drivers.empty()) return Fail(kExitNoDriver, "no ASIO driver is registered");
    for (const auto& d : drivers) {
        std::printf("%s\n  CLSID %s%s\n  Description %s\n", d.name.c_str(), d.clsidText.c_str(),
                    d.clsidValid ? "" : " (unusable)",
                    d.description.empty() ? "(none)" : d.description.c_str());
    }
    return kExitOk;
}

void PrintChannels(IASIO* driver, bool input, long count) {
    for (long c = 0; c < count; ++c) {
        ASIOChannelInfo info{};
        info.channel = c;
        info.isInput = input ? ASIOTrue : ASIOFalse;
        const ASIOError rc = driver->getChannelInfo(&info);
        if (rc != ASE_OK) {
            std::printf("  %s %ld: getChannelInfo error %ld\n", input ? "input" : "output", c, rc);
            continue;
        }
        std::printf("  %s %ld: \"%s\" group %ld type %ld (%s) active %ld\n",
                    input ? "input" : "output", c, Name(info.name).c_str(), info.channelGroup,
                    info.type, TypeName(info.type), info.isActive);
    }
}

void PrintRates(IASIO* driver) {
    std::printf("sample rates:");
    for (uint32_t rate : veltrano::kRateTable) {
        std::printf(" %u:%s", rate, driver->canSampleRate(rate) == ASE_OK ? "yes" : "no");
    }
    for (uint32_t rate : {veltrano::kDsd64Rate, veltrano::kDsd128Rate, veltrano::kDsd256Rate}) {
        std::printf(" %u:%s", rate, driver->canSampleRate(rate) == ASE_OK ? "yes" : "no");
    }
    std::printf("\n");
    ASIOSampleRate current = 0;
    const ASIOError rc = driver->getSampleRate(&current);
    if (rc == ASE_OK) {
        std::printf("current rate: %.0f\n", current);
    } else {
        std::printf("current rate: error %ld\n", rc);
    }
}

void PrintQueries(IASIO* driver, long inputs, long outputs) {
    char name[32] = {};
    driver->getDriverName(name);
    std::printf("name: %s\nversion: %ld\n", Name(name).c_str(), driver->getDriverVersion());
    std::printf("channels: %ld in, %ld out\n", inputs, outputs);
    PrintChannels(driver, true, inputs);
    PrintChannels(driver, false, outputs);
    PrintRates(driver);
    long minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
    ASIOError rc = driver->getBufferSize(&minSize, &maxSize, &preferred, &granularity);
    if (rc == ASE_OK) {
        std::printf("buffer sizes: min %ld max %ld preferred %ld granularity %ld\n", minSize,
                    maxSize, preferred, granularity);
    } else {
        std::printf("buffer sizes: error %ld\n", rc);
    }
    long inLatency = 0, outLatency = 0;
    rc = driver->getLatencies(&inLatency, &outLatency);
    if (rc == ASE_OK) {
        std::printf("latencies: in %ld out %ld\n", inLatency, outLatency);
    } else {
        std::printf("latencies: error %ld\n", rc);
    }
    ASIOClockSource clocks[16] = {};
    long clockCount = 16;
    rc = driver->getClockSources(clocks, &clockCount);
    if (rc == ASE_OK) {
        if (clockCount < 0 || clockCount > 16) clockCount = 0;
        std::printf("clock sources: %ld\n", clockCount);
        for (long i = 0; i < clockCount; ++i) {
            std::printf("  %ld: \"%s\" channel %ld group %ld%s\n", clocks[i].index,
                        Name(clocks[i].name).c_str(), clocks[i].associatedChannel,
                        clocks[i].associatedGroup, clocks[i].isCurrentSource ? " current" : "");
        }
    } else {
        std::printf("clock sources: error %ld\n", rc);
    }
}

// The sample type a direction streams in, from its first channel.
bool DirectionFormat(IASIO* driver, bool input, SampleFormat& format, std::string& error) {
    ASIOChannelInfo info{};
    info.channel = 0;
    info.isInput = input ? ASIOTrue : ASIOFalse;
    if (driver->getChannelInfo(&info) != ASE_OK) {
        error = "getChannelInfo failed";
        return false;
    }
    if (!ToFormat(info.type, format)) {
        error = std::string("sample type ") + TypeName(info.type) + " (" +
                std::to_string(info.type) + ") is not one the probe plays";
        return false;
    }
    return true;
}

int Run(const ProbeOptions& options) {
    const auto drivers = ListAsioDrivers();
    const AsioDriverEntry* chosen = nullptr;
    for (const auto& d : drivers) {
        if (options.driver.empty() || _stricmp(d.name.c_str(), options.driver.c_str()) == 0) {
            chosen = &d;
            break;
        }
    }
    if (chosen == nullptr) {
        return Fail(kExitNoDriver, options.driver.empty()
                                       ? "no ASIO driver is registered"
                                       : "no ASIO driver named \"" + options.driver + "\"");
    }
    if (!chosen->clsidValid) {
        return Fail(kExitCreateFailed, "driver \"" + chosen->name + "\" has no valid CLSID");
    }
    std::printf("driver: %s %s\n", chosen->name.c_str(), chosen->clsidText.c_str());

    ComApartment com;
    if (!com.ok()) return Fail(kExitCreateFailed, "CoInitialize failed");
    DriverRef driver;
    // As hosts do: the class identifier is the interface identifier too.
    const HRESULT hr =
        CoCreateInstance(chosen->clsid, nullptr, CLSCTX_INPROC_SERVER, chosen->clsid, driver.put());
    if (FAILED(hr) || driver.get() == nullptr) {
        char text[64];
        std::snprintf(text, sizeof(text), "%#010lx", static_cast<unsigned long>(hr));
        return Fail(kExitCreateFailed, "creating the driver failed (" + std::string(text) + ")");
    }
    if (driver.get()->init(GetConsoleWindow()) != ASIOTrue) {
        char message[128] = {};
        driver.get()->getErrorMessage(message);
        message[sizeof(message) - 1] = '\0';
        return Fail(kExitInitFailed, std::string("init failed: ") + message);
    }

    if (options.controlPanel) {
        const ASIOError rc = driver.get()->controlPanel();
        std::printf("controlPanel: %ld\n", static_cast<long>(rc));
        return rc == ASE_OK ? kExitOk : Fail(kExitSetupFailed, "controlPanel failed");
    }

    if (options.rate > 0) {
        if (veltrano::IsDsdRate(options.rate)) {
            ASIOIoFormat format{};
            format.FormatType = kASIODSDFormat;
            if (driver.get()->future(kAsioSetIoFormat, &format) != ASE_SUCCESS) {
                return Fail(kExitSetupFailed, "the driver does not switch to native DSD");
            }
        }
        const ASIOError rc = driver.get()->setSampleRate(options.rate);
        if (rc != ASE_OK) {
            return Fail(kExitSetupFailed, "setSampleRate(" + std::to_string(options.rate) +
                                              ") failed (" + std::to_string(rc) + ")");
        }
    }

    long inputs = 0, outputs = 0;
    const ASIOError channels = driver.get()->getChannels(&inputs, &outputs);
    if (channels != ASE_OK) {
        return Fail(kExitSetupFailed, "getChannels failed (" + std::to_string(channels) + ")");
    }
    PrintQueries(driver.get(), inputs, outputs);
    if (options.queryOnly) return kExitOk;

    StreamPlan plan;
    plan.driver = driver.get();
    plan.signal = options.signal;
    plan.seconds = options.seconds;
    plan.timeInfo = options.timeInfo;
    plan.outputReady = options.outputReady;
    plan.outputs = outputs;
    plan.inputs = options.recordWav.empty() ? 0 : inputs;
    if (outputs <= 0) return Fail(kExitSetupFailed, "the driver has no outputs");
    if (driver.get()->getSampleRate(&plan.rate) != ASE_OK || plan.rate <= 0) {
        return Fail(kExitSetupFailed, "getSampleRate failed");
    }
    std::string error;
    if (!DirectionFormat(driver.get(), false, plan.outputFormat, error))
        return Fail(kExitSetupFailed, "outputs: " + error);
    if (plan.inputs > 0 && !DirectionFormat(driver.get(), true, plan.inputFormat, error))
        return Fail(kExitSetupFailed, "inputs: " + error);
    const int width = FormatBits(plan.outputFormat);
    if (options.bits != 0 && width != 1 && width != options.bits) {
        return Fail(kExitSetupFailed, "the driver streams " + std::to_string(width) +
                                          "-bit samples, not " + std::to_string(options.bits));
    }
    long minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
    driver.get()->getBufferSize(&minSize, &maxSize, &preferred, &granularity);
    plan.bufferSize = options.bufferSize > 0 ? options.bufferSize : preferred;

    std::printf("playing %.2f s at %.0f Hz, %s, buffer %ld\n", plan.seconds, plan.rate,
                FormatName(plan.outputFormat), plan.bufferSize);
    std::fflush(stdout);
    const StreamResult result = RunStream(plan);
    if (result.resetRequests > 0) std::printf("reset requests: %ld\n", result.resetRequests);
    if (result.exitCode != kExitOk) return Fail(result.exitCode, result.error);

    const auto& s = result.stats;
    const double ms = result.secondsPerTick * 1000.0;
    std::printf("callback: %s, outputReady: %s\n",
                result.timeInfoUsed ? "bufferSwitchTimeInfo" : "bufferSwitch",
                result.outputReadyUsed ? "called"
                : options.outputReady  ? "not supported"
                                       : "not called");
    std::printf(
        "buffer switches: %llu, interval ms min %.3f median %.3f max %.3f (nominal %.3f), late "
        "%llu\n",
        static_cast<unsigned long long>(s.switches), s.minTicks * ms, s.medianTicks * ms,
        s.maxTicks * ms, result.nominalPeriodSeconds * 1000.0,
        static_cast<unsigned long long>(s.late));

    const WavLayout outLayout = WavLayoutFor(plan.outputFormat, plan.rate);
    std::vector<const uint8_t*> played;
    for (const auto& c : result.played) played.push_back(c.data());
    if (!WriteWavFile(options.playedWav, played, result.channelBytes, outLayout, error))
        return Fail(kExitFileFailed, error);
    std::printf("played: %s\n", options.playedWav.c_str());
    if (plan.inputs > 0) {
        std::vector<const uint8_t*> recorded;
        for (const auto& c : result.recorded) recorded.push_back(c.data());
        if (!WriteWavFile(options.recordWav, recorded, result.inputBytes,
                          WavLayoutFor(plan.inputFormat, plan.rate), error))
            return Fail(kExitFileFailed, error);
        std::printf("recorded: %s\n", options.recordWav.c_str());
    }
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    const ParsedOptions parsed = ParseProbeOptions(argc, argv);
    if (!parsed.ok) {
        std::fprintf(stderr, "veltrano-asio-probe: %s\n\n%s", parsed.error.c_str(), ProbeUsage());
        return kExitUsage;
    }
    if (parsed.options.help) {
        std::printf("%s", ProbeUsage());
        return kExitOk;
    }
    // Nothing of the driver's may end the probe without a message; the only
    // exception left to catch is memory running out for the recordings.
    try {
        if (parsed.options.list) return ListDrivers();
        return Run(parsed.options);
    } catch (const std::exception& e) {
        return Fail(kExitStreamFailed, std::string("out of memory: ") + e.what());
    }
}
