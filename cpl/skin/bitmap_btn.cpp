#include <windowsx.h>

#include "cpl/skin/skin_controls.h"
#include "cpl/skin/skin_dialog.h"

namespace skin {

CSkinDialog* SkinParentOf(const CWnd& control) {
    return dynamic_cast<CSkinDialog*>(CWnd::FromHandle(::GetParent(control.m_hWnd)));
}

CBitmapBtn::~CBitmapBtn() { m_tooltip.Destroy(); }

void CBitmapBtn::PreSubclassHwnd() {
    ::SendMessageA(m_hWnd, BM_SETSTYLE, BS_OWNERDRAW, TRUE);
    ModifyStyle(WS_TABSTOP, 0);
}

void CBitmapBtn::LoadImages(const CBitmap& background, const CBitmap& highlight, const CBitmap& pressed,
                            const CBitmap& disabled, const CBitmap& normal, const RECT& rect) {
    CutImage(m_backgroundImage, background, rect, m_hWnd);
    CutImage(m_highlightImage, highlight, rect, m_hWnd);
    CutImage(m_pressedImage, pressed, rect, m_hWnd);
    CutImage(m_disabledImage, disabled, rect, m_hWnd);
    CutImage(m_normalImage, normal, rect, m_hWnd);
}

void CBitmapBtn::EnsureTooltip() {
    if (m_tooltip.Exists()) return;
    if (m_tooltip.Create(m_hWnd)) m_tooltip.Activate(FALSE);
}

void CBitmapBtn::AddTooltipText(const char* text) {
    EnsureTooltip();
    if (!m_tooltip.Exists()) return;
    if (m_tooltip.GetToolCount() == 0) {
        RECT rect;
        GetClientRect(&rect);
        m_tooltip.AddTool(m_hWnd, text, rect, 1);
    }
    m_tooltip.UpdateTipText(m_hWnd, text, 1);
    m_tooltip.Activate(TRUE);
}

CBitmapBtn::Look CBitmapBtn::ChooseLook(int latching, int visible, int latched, int highlighted, bool pressed,
                                        bool disabled) {
    if (latching) {
        if (!visible) return Look::Background;
        if (disabled) return Look::Disabled;
        if (latched) return Look::Pressed;
        if (highlighted) return Look::Highlight;
        return Look::Normal;
    }
    if (latched && !highlighted) return Look::Pressed;
    if (pressed) return Look::Pressed;
    if (highlighted) return Look::Highlight;
    if (disabled) return Look::Disabled;
    if (visible) return Look::Normal;
    return Look::Background;
}

void CBitmapBtn::DrawItem(const DRAWITEMSTRUCT* dis) {
    bool pressed = (dis->itemState & ODS_SELECTED) != 0;
    bool disabled = (dis->itemState & ODS_DISABLED) != 0;
    const CBitmap* image = &m_normalImage;
    switch (ChooseLook(m_latching, m_visible, m_latched, m_highlighted, pressed, disabled)) {
        case Look::Background: image = &m_backgroundImage; break;
        case Look::Highlight: image = &m_highlightImage; break;
        case Look::Pressed: image = &m_pressedImage; break;
        case Look::Disabled: image = &m_disabledImage; break;
        case Look::Normal: image = &m_normalImage; break;
    }
    RECT rect;
    GetClientRect(&rect);
    BlitImage(dis->hDC, 0, 0, rect.right - rect.left, rect.bottom - rect.top, image->GetSafeHandle());
}

void CBitmapBtn::OnMouseMove(UINT flags, POINT point) {
    if ((flags & MK_LBUTTON) && !m_highlighted) return;
    HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    if (!owner) owner = ::GetParent(m_hWnd);
    if (::GetCapture() != m_hWnd && ::GetActiveWindow() && owner) {
        m_highlighted = 1;
        ::SetCapture(m_hWnd);
        Invalidate(TRUE);
        return;
    }
    POINT screen = point;
    ::ClientToScreen(m_hWnd, &screen);
    HWND under = ::WindowFromPoint(screen);
    if (!under || under == m_hWnd) return;
    if (m_highlighted) {
        m_highlighted = 0;
        Invalidate(TRUE);
    }
    if (!(flags & MK_LBUTTON)) ::ReleaseCapture();
}

LRESULT CBitmapBtn::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST) {
        EnsureTooltip();
        MSG relay{m_hWnd, msg, wParam, lParam, static_cast<DWORD>(::GetMessageTime()), {}};
        ::GetCursorPos(&relay.pt);
        m_tooltip.RelayEvent(&relay);
    }
    switch (msg) {
        case WM_MOUSEMOVE: {
            LRESULT r = Default(msg, wParam, lParam);
            OnMouseMove(static_cast<UINT>(wParam), POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            return r;
        }
        case WM_CAPTURECHANGED:
            // The button's own press takes the capture it already holds for
            // the highlight; that is no loss, and releasing here would leave
            // the press without the mouse, so a release over another button
            // would count there.
            if (reinterpret_cast<HWND>(lParam) != m_hWnd && m_highlighted) {
                // Clear first: releasing the capture sends this message again.
                m_highlighted = 0;
                if (::GetCapture() == m_hWnd) ::ReleaseCapture();
                Invalidate(TRUE);
            }
            return Default(msg, wParam, lParam);
        case WM_KILLFOCUS: {
            LRESULT r = Default(msg, wParam, lParam);
            m_highlighted = 0;
            Invalidate(TRUE);
            return r;
        }
        default:
            return CButton::WindowProc(msg, wParam, lParam);
    }
}

LRESULT CSkinButton::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_LBUTTONUP: {
            POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            RECT rect;
            GetClientRect(&rect);
            bool inside = ::PtInRect(&rect, point) != 0;
            if (inside) {
                m_highlighted = 0;
                Invalidate(TRUE);
            }
            // The button lets go of the mouse before the dialog hears of the
            // click: the dialog may open a modal window, or reload the skin
            // and delete this button, from its hook.
            LRESULT r = CBitmapBtn::WindowProc(msg, wParam, lParam);
            if (inside) {
                int index = m_index;
                if (CSkinDialog* parent = SkinParentOf(*this)) parent->SkinButtonClicked(index);
            }
            return r;
        }
        case WM_MOUSEMOVE:
            if (CSkinDialog* parent = SkinParentOf(*this)) {
                parent->OnSkinHover(m_name.c_str(), GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            }
            return CBitmapBtn::WindowProc(msg, wParam, lParam);
        default:
            return CBitmapBtn::WindowProc(msg, wParam, lParam);
    }
}

}  // namespace skin
