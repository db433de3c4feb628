#include "cpl/skin/region_builder.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace skin {

namespace {

constexpr uint32_t kRectanglesType = 1;

// The growing rectangle list: a header followed by its rectangles, in one
// block, so a batch goes to the system as it stands.
class RunList {
public:
    ~RunList() { std::free(m_block); }

    bool Init() { return Grow(kRegionListStep) && (Reset(), true); }

    void Reset() {
        Header()->count = 0;
        Header()->bounds = RegionRect{INT32_MAX, INT32_MAX, 0, 0};
    }

    bool Append(const RegionRect& r) {
        RegionHeader* h = Header();
        if (h->count == m_capacity && !Grow(m_capacity + kRegionListStep)) return false;
        h = Header();
        Rects()[h->count++] = r;
        if (r.left < h->bounds.left) h->bounds.left = r.left;
        if (r.top < h->bounds.top) h->bounds.top = r.top;
        if (r.right > h->bounds.right) h->bounds.right = r.right;
        if (r.bottom > h->bounds.bottom) h->bounds.bottom = r.bottom;
        return true;
    }

    uint32_t Count() const { return Header()->count; }

    bool Flush(RegionBatchSink& sink) {
        if (Count() == 0) return true;
        const RegionHeader& h = *Header();
        size_t bytes = sizeof(RegionHeader) + static_cast<size_t>(h.count) * sizeof(RegionRect);
        bool go_on = sink.Batch(h, m_block, bytes);
        Reset();
        return go_on;
    }

private:
    RegionHeader* Header() const { return reinterpret_cast<RegionHeader*>(m_block); }
    RegionRect* Rects() const { return reinterpret_cast<RegionRect*>(m_block + sizeof(RegionHeader)); }

    bool Grow(uint32_t capacity) {
        size_t bytes = sizeof(RegionHeader) + static_cast<size_t>(capacity) * sizeof(RegionRect);
        auto* block = static_cast<uint8_t*>(std::realloc(m_block, bytes));
        if (!block) return false;
        if (!m_block) {
            std::memset(block, 0, sizeof(RegionHeader));
            auto* h = reinterpret_cast<RegionHeader*>(block);
            h->size = sizeof(RegionHeader);
            h->type = kRectanglesType;
        }
        m_block = block;
        m_capacity = capacity;
        return true;
    }

    uint8_t* m_block = nullptr;
    uint32_t m_capacity = 0;
};

inline bool IsWhite(const uint8_t* pixel) { return pixel[0] == 255 && pixel[1] == 255 && pixel[2] == 255; }

}  // namespace

size_t DibStride(int width, int bitsPerPixel) {
    if (width <= 0 || bitsPerPixel <= 0) return 0;
    size_t bits = static_cast<size_t>(width) * static_cast<size_t>(bitsPerPixel);
    return ((bits + 31) / 32) * 4;
}

bool BuildRegionRuns(const MaskPixels& mask, RegionBatchSink& sink) {
    if (!mask.bits || mask.width <= 0 || mask.height <= 0) return true;
    if (mask.stride < static_cast<size_t>(mask.width) * 4) return false;
    RunList list;
    if (!list.Init()) return false;
    for (int y = 0; y < mask.height; ++y) {
        size_t stored = mask.bottomUp ? static_cast<size_t>(mask.height - 1 - y) : static_cast<size_t>(y);
        const uint8_t* row = mask.bits + stored * mask.stride;
        int x = 0;
        while (x < mask.width) {
            if (IsWhite(row + static_cast<size_t>(x) * 4)) {
                ++x;
                continue;
            }
            int x1 = x + 1;
            while (x1 < mask.width && !IsWhite(row + static_cast<size_t>(x1) * 4)) ++x1;
            if (!list.Append(RegionRect{x, y, x1, y + 1})) return false;
            if (list.Count() == kRegionBatchSize && !list.Flush(sink)) return false;
            x = x1;
        }
    }
    return list.Flush(sink);
}

}  // namespace skin
