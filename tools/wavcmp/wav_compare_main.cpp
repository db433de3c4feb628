// veltrano-wav-compare PLAYED.wav RECORDED.wav [--max-missing-frames N]
// Exit 0: the recording holds what was played; 1: it does not; 2: usage or
// an unreadable file.

#include <cstdio>
#include <cstdlib>
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
    const CompareResult result = CompareRecording(played, recorded, options);
    std::printf("%s: %s\n", result.match ? "MATCH" : "MISMATCH", result.message.c_str());
    return result.match ? 0 : 1;
}
