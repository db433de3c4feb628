#include "tools/probe/probe_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace veltrano::probe {
namespace {

bool ParseNumber(const char* text, double& out) {
    if (text == nullptr || *text == '\0') return false;
    errno = 0;
    char* end = nullptr;
    out = std::strtod(text, &end);
    return errno == 0 && end != nullptr && *end == '\0' && std::isfinite(out);
}

}  // namespace

const char* ProbeUsage() {
    return "usage: veltrano-asio-probe [options]\n"
           "Loads an ASIO driver the way a host does, prints its answers to every query\n"
           "and plays a test signal through it.\n"
           "\n"
           "  --help              this text\n"
           "  --list              list the drivers registered under HKLM\\Software\\ASIO\n"
           "  --driver NAME       the driver's key name (default: the first one listed)\n"
           "  --query             print the driver's answers only, do not stream\n"
           "  --control-panel     after init, open the driver's control panel and stop\n"
           "  --rate HZ           sample rate to set; 2822400, 5644800 or 11289600 select\n"
           "                      native DSD (default: the driver's current rate)\n"
           "  --bits 16|24|32     fail unless the driver streams samples of this width\n"
           "  --buffer FRAMES     buffer size (default: the driver's preferred size)\n"
           "  --seconds S         how long to play (default 2)\n"
           "  --signal sine|pattern\n"
           "                      sine: 440 Hz times the channel number, half scale;\n"
           "                      pattern: a per-channel sample sequence for exact comparison\n"
           "  --out FILE.wav      where to write what was played (default probe-played.wav)\n"
           "  --record FILE.wav   record the inputs to this file\n"
           "  --no-time-info      tell the driver the host has no bufferSwitchTimeInfo\n"
           "  --no-output-ready   never call outputReady, as many older hosts do\n"
           "\n"
           "DSD is written to the WAV files as 32-bit words at 1/32 of the DSD rate, four\n"
           "consecutive DSD bytes per word, the first lowest in memory, as the device gets it.\n"
           "\n"
           "exit codes: 0 success, 1 bad command line, 2 no such driver, 3 creation failed,\n"
           "4 init failed, 5 rate, format or width refused, 6 createBuffers refused,\n"
           "7 streaming failed, 8 a WAV file could not be written\n";
}

ParsedOptions ParseProbeOptions(int argc, const char* const* argv) {
    ParsedOptions result;
    ProbeOptions& o = result.options;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto fail = [&](const std::string& why) {
            result.error = why;
            return result;
        };
        auto needValue = [&]() { return value != nullptr; };
        double number = 0;
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            o.help = true;
        } else if (std::strcmp(arg, "--list") == 0) {
            o.list = true;
        } else if (std::strcmp(arg, "--query") == 0) {
            o.queryOnly = true;
        } else if (std::strcmp(arg, "--control-panel") == 0) {
            o.controlPanel = true;
        } else if (std::strcmp(arg, "--no-time-info") == 0) {
            o.timeInfo = false;
        } else if (std::strcmp(arg, "--no-output-ready") == 0) {
            o.outputReady = false;
        } else if (std::strcmp(arg, "--driver") == 0) {
            if (!needValue() || *value == '\0') return fail("--driver needs a name");
            o.driver = value;
            ++i;
        } else if (std::strcmp(arg, "--rate") == 0) {
            if (!ParseNumber(value, number) || number <= 0 || number > 1e8)
                return fail("--rate needs a positive rate in Hz");
            o.rate = number;
            ++i;
        } else if (std::strcmp(arg, "--bits") == 0) {
            if (!ParseNumber(value, number) || (number != 16 && number != 24 && number != 32))
                return fail("--bits takes 16, 24 or 32");
            o.bits = static_cast<int>(number);
            ++i;
        } else if (std::strcmp(arg, "--buffer") == 0) {
            if (!ParseNumber(value, number) || number < 1 || number > 1048576 ||
                number != std::floor(number))
                return fail("--buffer needs a whole number of frames (1 to 1048576)");
            o.bufferSize = static_cast<long>(number);
            ++i;
        } else if (std::strcmp(arg, "--seconds") == 0) {
            if (!ParseNumber(value, number) || number <= 0 || number > 3600)
                return fail("--seconds needs a duration above 0 and at most 3600");
            o.seconds = number;
            ++i;
        } else if (std::strcmp(arg, "--signal") == 0) {
            if (value != nullptr && std::strcmp(value, "sine") == 0) {
                o.signal = SignalKind::Sine;
            } else if (value != nullptr && std::strcmp(value, "pattern") == 0) {
                o.signal = SignalKind::Pattern;
            } else {
                return fail("--signal takes sine or pattern");
            }
            ++i;
        } else if (std::strcmp(arg, "--out") == 0) {
            if (!needValue() || *value == '\0') return fail("--out needs a file name");
            o.playedWav = value;
            ++i;
        } else if (std::strcmp(arg, "--record") == 0) {
            if (!needValue() || *value == '\0') return fail("--record needs a file name");
            o.recordWav = value;
            ++i;
        } else {
            return fail(std::string("unknown option ") + arg);
        }
    }
    result.ok = true;
    return result;
}

}  // namespace veltrano::probe
