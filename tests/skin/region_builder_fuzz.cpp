// Any mask, any shape: the runs must cover exactly its non-white pixels.
// The pixels live in an exactly sized heap block so the address sanitizer
// sees any read beyond the last row.

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "skin/region_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    int w = 1 + data[0] % 64;
    int h = 1 + data[1] % 64;
    bool up = data[2] & 1;
    size_t padding = (data[2] >> 1) % 3 * 4;
    skintest::Mask m(w, h, up, padding);
    size_t at = 3;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t v = at < size ? data[at++] : 0xFF;
            // Mostly white or black, sometimes one channel off white.
            if (v < 0x60) m.Ink(x, y);
            else if (v < 0x70) m.Set(x, y, 255, v, 255);
        }
    skintest::Collector c;
    if (!skin::BuildRegionRuns(m.View(), c)) std::abort();
    std::string errors = skintest::CheckRuns(m, c);
    if (!errors.empty()) {
        std::fprintf(stderr, "%s\n", errors.c_str());
        std::abort();
    }
    return 0;
}
