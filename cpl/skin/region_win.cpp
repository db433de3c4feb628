#include "cpl/skin/region_win.h"

#include <utility>

#include "common/win_owners.h"
#include "cpl/skin/gdi.h"
#include "cpl/skin/region_builder.h"

namespace skin {

static_assert(sizeof(RGNDATAHEADER) == sizeof(RegionHeader), "region header layout");
static_assert(sizeof(RECT) == sizeof(RegionRect), "region rectangle layout");

namespace {

// ORs each batch into one region.
class RegionCombiner : public RegionBatchSink {
public:
    bool Batch(const RegionHeader&, const uint8_t* data, size_t bytes) override {
        Region part(::ExtCreateRegion(nullptr, static_cast<DWORD>(bytes), reinterpret_cast<const RGNDATA*>(data)));
        if (!part) return false;
        if (!m_result) {
            m_result = std::move(part);
            return true;
        }
        return ::CombineRgn(m_result.get(), m_result.get(), part.get(), RGN_OR) != ERROR;
    }
    HRGN Take() { return m_result.release(); }

private:
    using Region = veltrano::UniqueGdiObject<HRGN>;
    Region m_result;
};

}  // namespace

HRGN RegionFromMask(HBITMAP mask) {
    if (!mask) return nullptr;
    BITMAP bm{};
    if (!::GetObjectA(mask, sizeof bm, &bm) || bm.bmWidth <= 0 || bm.bmHeight <= 0) return nullptr;

    HDC screen = ::GetDC(nullptr);
    MemoryDC source(screen, mask);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = bm.bmWidth;
    info.bmiHeader.biHeight = bm.bmHeight;  // bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    // Deleted at the end, once the memory DC that draws into it has let go.
    const veltrano::UniqueGdiObject<HBITMAP> dib(
        ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    HRGN result = nullptr;
    if (dib && bits && source) {
        {
            MemoryDC copy(screen, dib.get());
            if (copy) ::BitBlt(copy.dc(), 0, 0, bm.bmWidth, bm.bmHeight, source.dc(), 0, 0, SRCCOPY);
        }
        ::GdiFlush();
        MaskPixels pixels{static_cast<const uint8_t*>(bits), bm.bmWidth, bm.bmHeight, DibStride(bm.bmWidth, 32),
                          true};
        RegionCombiner combiner;
        if (BuildRegionRuns(pixels, combiner)) result = combiner.Take();
    }
    ::ReleaseDC(nullptr, screen);
    return result;
}

}  // namespace skin
