#include <windowsx.h>

#include "cpl/skin/skin_controls.h"
#include "cpl/skin/skin_dialog.h"

namespace skin {

void CBitmapSlider::LoadImages(const CBitmap& normal, const CBitmap& disabled, const RECT& rect,
                               UINT thumbNormal, UINT thumbActive, UINT thumbDisabled) {
    CutImage(m_normalBackground, normal, rect, m_hWnd);
    CutImage(m_disabledBackground, disabled, rect, m_hWnd);
    m_normalThumb.LoadBitmap(thumbNormal);
    m_activeThumb.LoadBitmap(thumbActive);
    m_disabledThumb.LoadBitmap(thumbDisabled);
    ClearDragging();
}

RECT CBitmapSlider::ThumbRect() const {
    RECT thumb{};
    GetThumbRect(&thumb);
    SIZE image = m_normalThumb.GetSize();
    RECT r{};
    if (GetStyle() & TBS_VERT) {
        r.left = 0;
        r.right = image.cx;
        r.top = thumb.top + (thumb.bottom - thumb.top) / 2 - image.cy / 2;
        if (r.top < 0) r.top = 0;
        r.bottom = r.top + image.cy;
    } else {
        r.top = 0;
        r.bottom = image.cy;
        r.left = thumb.left + (thumb.right - thumb.left) / 2 - image.cx / 2;
        r.right = r.left + image.cx;
    }
    return r;
}

void CBitmapSlider::OnPaint() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    if (!dc) return;
    RECT client;
    GetClientRect(&client);
    const CBitmap& background = m_disabled ? m_disabledBackground : m_normalBackground;
    BlitImage(dc, 0, 0, client.right, client.bottom, background.GetSafeHandle());
    RECT thumb = ThumbRect();
    const CBitmap& image = m_disabled ? m_disabledThumb : (m_grabbed ? m_activeThumb : m_normalThumb);
    BlitImage(dc, thumb.left, thumb.top, thumb.right - thumb.left, thumb.bottom - thumb.top,
              image.GetSafeHandle());
    ::EndPaint(m_hWnd, &ps);
}

LRESULT CBitmapSlider::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_PAINT:
            OnPaint();
            return 0;
        case WM_ERASEBKGND:
            return TRUE;
        case WM_LBUTTONDOWN: {
            LRESULT r = Default(msg, wParam, lParam);
            RECT thumb = ThumbRect();
            POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            m_grabbed = ::PtInRect(&thumb, point) ? 1 : 0;
            Invalidate(TRUE);
            return r;
        }
        case WM_LBUTTONUP: {
            LRESULT r = Default(msg, wParam, lParam);
            m_grabbed = 0;
            Invalidate(TRUE);
            return r;
        }
        case WM_MOUSEMOVE: {
            LRESULT r = Default(msg, wParam, lParam);
            if (m_grabbed) Invalidate(TRUE);
            return r;
        }
        case WM_CAPTURECHANGED:
            if (m_grabbed) {
                // Lost the mouse: the thumb is no longer held, so it must not
                // keep its active look.
                m_grabbed = 0;
                if (::GetCapture() == m_hWnd) ::ReleaseCapture();
                Invalidate(TRUE);
            }
            return Default(msg, wParam, lParam);
        case WM_MOUSEWHEEL:
            Invalidate(TRUE);
            return Default(msg, wParam, lParam);
        default:
            return CSliderCtrl::WindowProc(msg, wParam, lParam);
    }
}

LRESULT CSkinSlider::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_LBUTTONDOWN: {
            LRESULT r = CBitmapSlider::WindowProc(msg, wParam, lParam);
            m_dragging = 1;
            return r;
        }
        case WM_MOUSEMOVE: {
            LRESULT r = Default(msg, wParam, lParam);
            if (m_grabbed) Invalidate(TRUE);
            CSkinDialog* parent = SkinParentOf(*this);
            if (!parent) return r;
            if (m_dragging) {
                parent->SkinSliderChanged(m_index, kSliderCodeThumbPosition, GetPos());
            } else {
                parent->OnSkinHover(m_name.c_str(), GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            }
            return r;
        }
        case WM_LBUTTONUP: {
            m_dragging = 0;
            int pos = GetPos();
            if (CSkinDialog* parent = SkinParentOf(*this)) parent->SkinSliderChanged(m_index, kSliderCodeEndScroll, pos);
            LRESULT r = Default(msg, wParam, lParam);
            m_grabbed = 0;
            Invalidate(TRUE);
            return r;
        }
        case WM_HSCROLL:
        case WM_VSCROLL: {
            LRESULT r = Default(msg, wParam, lParam);
            if (CSkinDialog* parent = SkinParentOf(*this)) {
                parent->SkinSliderChanged(m_index, LOWORD(wParam), static_cast<short>(HIWORD(wParam)));
            }
            return r;
        }
        default:
            return CBitmapSlider::WindowProc(msg, wParam, lParam);
    }
}

}  // namespace skin
