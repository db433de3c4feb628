#pragma once
// Owners of GDI objects.

#include <windows.h>

namespace skin {

class CBitmap {
public:
    CBitmap() = default;
    ~CBitmap() { DeleteObject(); }
    CBitmap(const CBitmap&) = delete;
    CBitmap& operator=(const CBitmap&) = delete;

    // From the skin's resource instance; false (and no handle) when missing.
    bool LoadBitmap(UINT id);
    void Attach(HBITMAP bitmap) {
        DeleteObject();
        m_hObject = bitmap;
    }
    HBITMAP Detach() {
        HBITMAP b = m_hObject;
        m_hObject = nullptr;
        return b;
    }
    void DeleteObject() {
        if (m_hObject) ::DeleteObject(m_hObject);
        m_hObject = nullptr;
    }
    // Width and height; (0, 0) without a handle.
    SIZE GetSize() const;
    HBITMAP GetSafeHandle() const { return m_hObject; }
    operator HBITMAP() const { return m_hObject; }

    HBITMAP m_hObject = nullptr;
};

class CFont {
public:
    CFont() = default;
    ~CFont() { DeleteObject(); }
    CFont(const CFont&) = delete;
    CFont& operator=(const CFont&) = delete;

    bool CreateFontIndirect(const LOGFONTA& lf) {
        DeleteObject();
        m_hObject = ::CreateFontIndirectA(&lf);
        return m_hObject != nullptr;
    }
    void DeleteObject() {
        if (m_hObject) ::DeleteObject(m_hObject);
        m_hObject = nullptr;
    }
    operator HFONT() const { return m_hObject; }
    HFONT m_hObject = nullptr;
};

// A memory device context with one bitmap selected; both released on exit.
class MemoryDC {
public:
    MemoryDC(HDC compatible, HBITMAP bitmap);
    ~MemoryDC();
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;
    HDC dc() const { return m_dc; }
    explicit operator bool() const { return m_dc != nullptr; }

private:
    HDC m_dc = nullptr;
    HGDIOBJ m_old = nullptr;
};

// Copies rect of source (window coordinates of a whole-window image) into a
// new bitmap compatible with window's device context. Does nothing when the
// source has no handle.
void CutImage(CBitmap& target, const CBitmap& source, const RECT& rect, HWND window);

// Copies image 1:1 from its top-left corner into dc at (x, y), size w x h.
void BlitImage(HDC dc, int x, int y, int w, int h, HBITMAP image);

}  // namespace skin
