#include "cpl/skin/wnd.h"

namespace skin {

namespace {

const char kObjectProp[] = "VeltranoSkinWnd";
HINSTANCE g_resourceInstance = nullptr;

}  // namespace

HINSTANCE SkinResourceInstance() {
    return g_resourceInstance ? g_resourceInstance : ::GetModuleHandleA(nullptr);
}

void SetSkinResourceInstance(HINSTANCE instance) { g_resourceInstance = instance; }

CWnd::~CWnd() {
    // Detach first: the derived parts are gone, so no message may reach the
    // object while the window is destroyed.
    HWND hwnd = UnsubclassHwnd();
    if (hwnd && ::IsWindow(hwnd)) ::DestroyWindow(hwnd);
}

CWnd* CWnd::FromHandle(HWND hwnd) {
    if (!hwnd) return nullptr;
    return static_cast<CWnd*>(::GetPropA(hwnd, kObjectProp));
}

bool CWnd::SubclassHwnd(HWND hwnd) {
    if (!hwnd || m_hWnd || FromHandle(hwnd)) return false;
    if (!::SetPropA(hwnd, kObjectProp, this)) return false;
    m_hWnd = hwnd;
    PreSubclassHwnd();
    m_oldProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::StaticWindowProc)));
    return true;
}

HWND CWnd::UnsubclassHwnd() {
    HWND hwnd = m_hWnd;
    if (!hwnd) return nullptr;
    if (m_oldProc && ::IsWindow(hwnd)) {
        ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_oldProc));
    }
    if (::IsWindow(hwnd)) ::RemovePropA(hwnd, kObjectProp);
    m_oldProc = nullptr;
    m_hWnd = nullptr;
    return hwnd;
}

BOOL CWnd::DestroyWindow() {
    if (!m_hWnd) return FALSE;
    return ::DestroyWindow(m_hWnd);
}

void CWnd::ModifyStyle(DWORD remove, DWORD add) {
    DWORD style = GetStyle();
    DWORD changed = (style & ~remove) | add;
    if (changed != style) ::SetWindowLongPtrA(m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(changed));
}

LRESULT CWnd::Default(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (m_oldProc) return ::CallWindowProcA(m_oldProc, m_hWnd, msg, wParam, lParam);
    return ::DefWindowProcA(m_hWnd, msg, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DRAWITEM && lParam) {
        const auto* dis = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        CWnd* child = FromHandle(dis->hwndItem);
        if (child && child != this && child->OnReflectedDrawItem(dis)) return TRUE;
    }
    return Default(msg, wParam, lParam);
}

LRESULT CALLBACK CWnd::StaticWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    CWnd* self = FromHandle(hwnd);
    if (!self) return ::DefWindowProcA(hwnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        WNDPROC old = self->m_oldProc;
        LRESULT result = old ? ::CallWindowProcA(old, hwnd, msg, wParam, lParam)
                             : ::DefWindowProcA(hwnd, msg, wParam, lParam);
        self->UnsubclassHwnd();
        self->PostNcDestroy();
        return result;
    }
    return self->WindowProc(msg, wParam, lParam);
}

}  // namespace skin
