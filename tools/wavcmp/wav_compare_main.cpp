// veltrano-wav-compare PLAYED.wav RECORDED.wav [--max-missing-frames N]
// Exit 0: the recording holds what was played; 1: it does not; 2: usage or
// an unreadable file. When the recording has a glitch log beside it, the
// device's underruns are reported on a line of their own (and their
// silence cut out before comparing); packets the driver changed while the
// device held them make the comparison fail.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "tools/wavcmp/wav_compare.h"

int main(int argc, char** argv) {
    using namespace veltrano::wavcmp;
    std::string paths[2];
    int count = 0;
    CompareOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--max-missing-frames" && i + 1 < argc) {
            char* end = nullptr;
            const long long n = std::strtoll(argv[++i], &end, 10);
            if (end == argv[i] || *end != '\0' || n < 0) {
                std::fprintf(stderr, "veltrano-wav-compare: bad frame count %s\n", argv[i]);
                return 2;
            }
            options.maxMissingFrames = n;
        } else if (count < 2 && !arg.empty() && arg[0] != '-') {
            paths[count++] = arg;
        } else {
            count = 3;
            break;
        }
    }
    if (count != 2) {
        std::fprintf(stderr,
                     "usage: veltrano-wav-compare PLAYED.wav RECORDED.wav "
                     "[--max-missing-frames N]\n");
        return 2;
    }
    WavData played;
    WavData recorded;
    std::string error;
    if (!ReadWavFile(paths[0], played, error) || !ReadWavFile(paths[1], recorded, error)) {
        std::fprintf(stderr, "veltrano-wav-compare: %s\n", error.c_str());
        return 2;
    }
    GlitchLog glitches;
    bool haveGlitches = false;
    {
        const std::string sidecar = GlitchLog::SidecarPath(paths[1]);
        std::ifstream in(sidecar, std::ios::binary);
        if (in.is_open()) {
            const std::string text((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
            haveGlitches = GlitchLog::Parse(text, glitches);
            if (!haveGlitches) {
                std::fprintf(stderr, "veltrano-wav-compare: %s is no glitch log\n",
                             sidecar.c_str());
                return 2;
            }
        }
    }
    options.silentGaps = glitches.Underruns();
    const CompareResult result = CompareRecording(played, recorded, options);
    const bool overwritten = glitches.OverwriteCount() != 0;
    const bool match = result.match && !overwritten;
    std::printf("%s: %s\n", match ? "MATCH" : "MISMATCH", result.message.c_str());
    if (haveGlitches) {
        std::printf("UNDERRUNS: %llu%s\n",
                    static_cast<unsigned long long>(glitches.UnderrunCount()),
                    glitches.UnderrunCount() == 0 ? "" : (" - " + glitches.Summary()).c_str());
    }
    if (overwritten) {
        std::printf("OVERWRITES: the driver changed %llu packets the device held\n",
                    static_cast<unsigned long long>(glitches.OverwriteCount()));
    }
    return match ? 0 : 1;
}
