#pragma once
// A window object over a plain Win32 window: the object subclasses the
// window, sees every message first in WindowProc and hands what it does not
// handle to the window's original procedure with Default.

#include <windows.h>

namespace skin {

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // The object attached to a window by SubclassWindow, or null.
    static CWnd* FromHandle(HWND hwnd);

    bool SubclassHwnd(HWND hwnd);
    HWND UnsubclassHwnd();
    BOOL DestroyWindow();

    // Thin forms of the Win32 calls on this window.
    BOOL ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
    BOOL EnableWindow(BOOL enable) { return ::EnableWindow(m_hWnd, enable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
    BOOL RedrawWindow(UINT flags) { return ::RedrawWindow(m_hWnd, nullptr, nullptr, flags); }
    void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
    void GetWindowRect(RECT* rect) const { ::GetWindowRect(m_hWnd, rect); }
    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrA(m_hWnd, GWL_STYLE)); }
    void ModifyStyle(DWORD remove, DWORD add);
    void SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text); }
    LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
        return ::SendMessageA(m_hWnd, msg, wParam, lParam);
    }
    HWND GetParentHwnd() const { return ::GetParent(m_hWnd); }

protected:
    // Every message of the window arrives here first. The base reflects
    // WM_DRAWITEM to the child object it names, then calls Default.
    virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    // The window's own handling (its class or dialog procedure).
    LRESULT Default(UINT msg, WPARAM wParam, LPARAM lParam);
    // Runs once the window is attached, before any message reaches WindowProc.
    virtual void PreSubclassHwnd() {}
    // A parent's WM_DRAWITEM for this window; true when handled.
    virtual bool OnReflectedDrawItem(const DRAWITEMSTRUCT*) { return false; }
    // After WM_NCDESTROY: the window is gone and the object detached.
    virtual void PostNcDestroy() {}

private:
    static LRESULT CALLBACK StaticWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    WNDPROC m_oldProc = nullptr;
};

// Where the skin's resources (bitmaps, dialog templates) come from: the
// program itself unless set.
HINSTANCE SkinResourceInstance();
void SetSkinResourceInstance(HINSTANCE instance);

}  // namespace skin
