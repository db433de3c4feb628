#pragma once
// Collects the region builder's batches and checks them against the mask.
// Shared by the unit tests and the fuzzer.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "cpl/skin/region_builder.h"

namespace skintest {

struct Mask {
    int width = 0;
    int height = 0;
    bool bottomUp = false;
    size_t stride = 0;
    std::vector<uint8_t> bytes;  // blue, green, red, unused

    Mask(int w, int h, bool up = false, size_t padding = 0)
        : width(w), height(h), bottomUp(up), stride(static_cast<size_t>(w) * 4 + padding),
          bytes(stride * static_cast<size_t>(h), 0xFF) {}

    uint8_t* Pixel(int x, int y) {
        size_t row = bottomUp ? static_cast<size_t>(height - 1 - y) : static_cast<size_t>(y);
        return bytes.data() + row * stride + static_cast<size_t>(x) * 4;
    }
    const uint8_t* Pixel(int x, int y) const { return const_cast<Mask*>(this)->Pixel(x, y); }
    void Set(int x, int y, uint8_t b, uint8_t g, uint8_t r) {
        uint8_t* p = Pixel(x, y);
        p[0] = b;
        p[1] = g;
        p[2] = r;
    }
    void Ink(int x, int y) { Set(x, y, 0, 0, 0); }
    bool Inside(int x, int y) const {
        const uint8_t* p = Pixel(x, y);
        return !(p[0] == 255 && p[1] == 255 && p[2] == 255);
    }
    skin::MaskPixels View() const { return {bytes.data(), width, height, stride, bottomUp}; }
};

class Collector : public skin::RegionBatchSink {
public:
    bool Batch(const skin::RegionHeader& header, const uint8_t* data, size_t bytes) override {
        batches.push_back(header);
        skin::RegionHeader copy;
        std::memcpy(&copy, data, sizeof copy);
        if (std::memcmp(&copy, &header, sizeof copy) != 0) errors += "batch data does not start with its header; ";
        if (bytes != sizeof(skin::RegionHeader) + header.count * sizeof(skin::RegionRect)) errors += "batch size; ";
        size_t first = rects.size();
        rects.resize(first + header.count);
        std::memcpy(rects.data() + first, data + sizeof(skin::RegionHeader), header.count * sizeof(skin::RegionRect));
        return true;
    }
    std::vector<skin::RegionHeader> batches;
    std::vector<skin::RegionRect> rects;
    std::string errors;
};

// Empty when the batches are well formed and their rectangles cover exactly
// the mask's non-white pixels, each once; otherwise what is wrong.
inline std::string CheckRuns(const Mask& mask, const Collector& c) {
    std::string errors = c.errors;
    size_t at = 0;
    for (const skin::RegionHeader& h : c.batches) {
        if (h.size != 32 || h.type != 1 || h.rgnSize != 0) errors += "header fields; ";
        if (h.count == 0 || h.count > skin::kRegionBatchSize) errors += "batch count " + std::to_string(h.count) + "; ";
        skin::RegionRect b{INT32_MAX, INT32_MAX, 0, 0};
        for (uint32_t i = 0; i < h.count && at + i < c.rects.size(); ++i) {
            const skin::RegionRect& r = c.rects[at + i];
            if (r.left < b.left) b.left = r.left;
            if (r.top < b.top) b.top = r.top;
            if (r.right > b.right) b.right = r.right;
            if (r.bottom > b.bottom) b.bottom = r.bottom;
        }
        if (std::memcmp(&b, &h.bounds, sizeof b) != 0) errors += "bounds; ";
        at += h.count;
    }
    // Every batch but the last is full.
    for (size_t i = 0; i + 1 < c.batches.size(); ++i) {
        if (c.batches[i].count != skin::kRegionBatchSize) errors += "short batch before the last; ";
    }
    std::vector<uint8_t> covered(static_cast<size_t>(mask.width) * static_cast<size_t>(mask.height), 0);
    for (const skin::RegionRect& r : c.rects) {
        if (r.top < 0 || r.bottom != r.top + 1 || r.top >= mask.height || r.left < 0 || r.right <= r.left ||
            r.right > mask.width) {
            errors += "bad rectangle; ";
            continue;
        }
        for (int x = r.left; x < r.right; ++x) {
            uint8_t& cell = covered[static_cast<size_t>(r.top) * static_cast<size_t>(mask.width) + static_cast<size_t>(x)];
            if (cell) errors += "pixel covered twice; ";
            cell = 1;
        }
    }
    for (int y = 0; y < mask.height; ++y) {
        for (int x = 0; x < mask.width; ++x) {
            bool want = mask.Inside(x, y);
            bool got = covered[static_cast<size_t>(y) * static_cast<size_t>(mask.width) + static_cast<size_t>(x)] != 0;
            if (want != got) {
                errors += "pixel " + std::to_string(x) + "," + std::to_string(y) + (want ? " missing; " : " extra; ");
                return errors;
            }
        }
    }
    return errors;
}

}  // namespace skintest
