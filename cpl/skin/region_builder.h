#pragma once
// Turns a shape mask into the horizontal runs of its non-white pixels, one
// rectangle per run, handed out in batches laid out as the system's region
// data (a 32-byte header followed by rectangles). Pure: no Windows types.

#include <cstddef>
#include <cstdint>

namespace skin {

struct RegionRect {
    int32_t left, top, right, bottom;
};

// The same bytes as RGNDATAHEADER.
struct RegionHeader {
    uint32_t size;      // 32
    uint32_t type;      // 1: rectangles
    uint32_t count;     // rectangles that follow
    uint32_t rgnSize;   // 0
    RegionRect bounds;  // (INT32_MAX, INT32_MAX, 0, 0) while empty
};
static_assert(sizeof(RegionHeader) == 32, "region header layout");

constexpr uint32_t kRegionListStep = 100;    // the list grows by this many rectangles
constexpr uint32_t kRegionBatchSize = 2000;  // rectangles handed out at most at once

// A 32-bit-per-pixel image, bytes blue, green, red, unused per pixel.
struct MaskPixels {
    const uint8_t* bits;
    int width;
    int height;
    size_t stride;   // bytes per stored row
    bool bottomUp;   // the first stored row is the bottom one
};

// Receives each batch: header (count, bounds) and the data (header followed
// by count rectangles, contiguous, header.size + count * 16 bytes). Returns
// false to stop.
class RegionBatchSink {
public:
    virtual bool Batch(const RegionHeader& header, const uint8_t* data, size_t bytes) = 0;

protected:
    ~RegionBatchSink() = default;
};

// Row stride of a 32-bit DIB: whole bytes, rounded up to a multiple of 4.
size_t DibStride(int width, int bitsPerPixel);

// Walks rows top to bottom. Returns false when memory ran out or the sink
// stopped; true otherwise (also for a mask without a non-white pixel, which
// hands out no batch).
bool BuildRegionRuns(const MaskPixels& mask, RegionBatchSink& sink);

}  // namespace skin
