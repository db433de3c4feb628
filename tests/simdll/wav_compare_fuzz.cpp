// The comparison reads files a crashed or foreign writer may have left: any
// bytes must parse or be refused without reading outside them, and a parsed
// file must hold whole frames and always match itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/wavcmp/wav_compare.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace veltrano::wavcmp;
    const std::vector<uint8_t> file(data, data + size);
    WavData wav;
    std::string error;
    if (!ParseWav(file, wav, error)) {
        if (error.empty()) std::abort();
        return 0;
    }
    const size_t frame =
        static_cast<size_t>(wav.channels) * static_cast<size_t>(wav.bitsPerSample / 8);
    if (frame == 0 || wav.data.size() % frame != 0 || wav.data.size() > size) std::abort();
    const CompareResult self = CompareRecording(wav, wav, {});
    if (!wav.data.empty() && !self.match) std::abort();
    // Against its own second half: never a crash, whatever the verdict.
    WavData tail = wav;
    tail.data.erase(
        tail.data.begin(),
        tail.data.begin() + static_cast<std::ptrdiff_t>(wav.data.size() / frame / 2 * frame));
    (void)CompareRecording(wav, tail, {});
    (void)CompareRecording(tail, wav, {});
    return 0;
}
