#include "cpl/skin/gdi.h"

#include "cpl/skin/wnd.h"

namespace skin {

bool CBitmap::LoadBitmap(UINT id) {
    DeleteObject();
    m_hObject = static_cast<HBITMAP>(
        ::LoadImageA(SkinResourceInstance(), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, 0));
    return m_hObject != nullptr;
}

SIZE CBitmap::GetSize() const {
    SIZE size{0, 0};
    BITMAP bm{};
    if (m_hObject && ::GetObjectA(m_hObject, sizeof bm, &bm)) {
        size.cx = bm.bmWidth;
        size.cy = bm.bmHeight;
    }
    return size;
}

MemoryDC::MemoryDC(HDC compatible, HBITMAP bitmap) {
    m_dc = ::CreateCompatibleDC(compatible);
    if (m_dc && bitmap) m_old = ::SelectObject(m_dc, bitmap);
}

MemoryDC::~MemoryDC() {
    if (!m_dc) return;
    if (m_old) ::SelectObject(m_dc, m_old);
    ::DeleteDC(m_dc);
}

void CutImage(CBitmap& target, const CBitmap& source, const RECT& rect, HWND window) {
    if (!source.GetSafeHandle()) return;
    int w = rect.right - rect.left;
    int h = rect.bottom - rect.top;
    if (w <= 0 || h <= 0) return;
    HDC windowDC = ::GetDC(window);
    if (!windowDC) return;
    HBITMAP cut = ::CreateCompatibleBitmap(windowDC, w, h);
    if (cut) {
        MemoryDC from(windowDC, source.GetSafeHandle());
        MemoryDC to(windowDC, cut);
        if (from && to) ::BitBlt(to.dc(), 0, 0, w, h, from.dc(), rect.left, rect.top, SRCCOPY);
        target.Attach(cut);
    }
    ::ReleaseDC(window, windowDC);
}

void BlitImage(HDC dc, int x, int y, int w, int h, HBITMAP image) {
    if (!image || w <= 0 || h <= 0) return;
    MemoryDC from(dc, image);
    if (from) ::BitBlt(dc, x, y, w, h, from.dc(), 0, 0, SRCCOPY);
}

}  // namespace skin
