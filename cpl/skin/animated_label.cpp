#include <windowsx.h>

#include "cpl/skin/skin_controls.h"
#include "cpl/skin/skin_dialog.h"

namespace skin {

namespace {

constexpr UINT_PTR kScrollTimer = 1;

}  // namespace

CAnimatedLabel::CAnimatedLabel() {
    LOGFONTA lf{};
    if (::GetObjectA(::GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf)) m_font.CreateFontIndirect(lf);
}

CAnimatedLabel::~CAnimatedLabel() {
    if (m_hWnd) ::KillTimer(m_hWnd, kScrollTimer);
}

void CAnimatedLabel::DrawItem(const DRAWITEMSTRUCT*) { Invalidate(TRUE); }

void CAnimatedLabel::SetFont(const LOGFONTA& lf) { m_font.CreateFontIndirect(lf); }

void CAnimatedLabel::SetText(const char* text) {
    SetWindowText(text ? text : "");
    m_text = text ? text : "";
    Remeasure();
}

void CAnimatedLabel::Remeasure() {
    if (m_scrolling) ::KillTimer(m_hWnd, kScrollTimer);
    RECT rect{};
    GetClientRect(&rect);
    int wide = 0;
    if (HDC dc = ::GetDC(m_hWnd)) {
        SIZE size{};
        if (::GetTextExtentPoint32A(dc, "W", 1, &size)) wide = size.cx;
        ::ReleaseDC(m_hWnd, dc);
    }
    m_capacity = wide > 0 ? ((rect.right - rect.left) * 2) / wide : 0;
    m_scrollPos = 0;
    m_scrolling = m_capacity < static_cast<int>(m_text.size()) ? 1 : 0;
    // A text too long for its label moves along so that all of it can be
    // read; one that fits stands still.
    if (m_scrolling) ::SetTimer(m_hWnd, kScrollTimer, kScrollIntervalMs, nullptr);
    Invalidate(TRUE);
}

std::string CAnimatedLabel::ShownText(const std::string& text, int scrollPos, int capacity) {
    size_t skip = scrollPos > 0 ? static_cast<size_t>(scrollPos) : 0;
    std::string shown = skip < text.size() ? text.substr(skip) : std::string();
    if (capacity < static_cast<int>(text.size()) && !text.empty()) {
        while (static_cast<int>(shown.size()) < capacity) {
            shown += " ** ";
            shown += text;
        }
    }
    return shown;
}

void CAnimatedLabel::OnPaint() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    if (!dc) return;
    RECT rect;
    GetClientRect(&rect);
    BlitImage(dc, 0, 0, rect.right - rect.left, rect.bottom - rect.top, m_backgroundSnapshot.GetSafeHandle());
    std::string shown = ShownText(m_text, m_scrollPos, m_capacity);
    UINT format = m_capacity < static_cast<int>(m_text.size()) ? DT_VCENTER : (DT_CENTER | DT_VCENTER);
    int oldMode = ::SetBkMode(dc, TRANSPARENT);
    HGDIOBJ oldFont = m_font.m_hObject ? ::SelectObject(dc, m_font.m_hObject) : nullptr;
    COLORREF oldColour = ::SetTextColor(dc, m_textColour);
    ::DrawTextA(dc, shown.c_str(), static_cast<int>(shown.size()), &rect, format);
    ::SetTextColor(dc, oldColour);
    if (oldFont) ::SelectObject(dc, oldFont);
    ::SetBkMode(dc, oldMode);
    ::EndPaint(m_hWnd, &ps);
}

LRESULT CAnimatedLabel::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_TIMER:
            if (wParam != kScrollTimer) break;
            ++m_scrollPos;
            if (static_cast<int>(m_text.size()) < m_scrollPos) m_scrollPos = 0;
            Invalidate(TRUE);
            return 0;
        case WM_PAINT:
            OnPaint();
            return 0;
        case WM_DESTROY:
            ::KillTimer(m_hWnd, kScrollTimer);
            break;
        default:
            break;
    }
    return CBitmapBtn::WindowProc(msg, wParam, lParam);
}

LRESULT CSkinLabel::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_LBUTTONUP: {
            LRESULT r = CAnimatedLabel::WindowProc(msg, wParam, lParam);
            int index = m_index;
            if (CSkinDialog* parent = SkinParentOf(*this)) parent->SkinLabelClicked(index);
            return r;
        }
        case WM_MOUSEMOVE: {
            LRESULT r = Default(msg, wParam, lParam);
            if (CSkinDialog* parent = SkinParentOf(*this)) {
                parent->OnSkinHover(m_name.c_str(), GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            }
            return r;
        }
        default:
            return CAnimatedLabel::WindowProc(msg, wParam, lParam);
    }
}

}  // namespace skin
