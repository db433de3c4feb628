#pragma once
// The standard controls the skin builds on: button, trackbar, tooltip, and a
// typed, non-owning pointer array.

#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <new>
#include <vector>

#include "cpl/skin/wnd.h"

namespace skin {

class CButton : public CWnd {
public:
    // Creates a BUTTON window and attaches this object to it.
    bool Create(const char* text, DWORD style, const RECT& rect, HWND parent, UINT id);
    // Owner drawing (BS_OWNERDRAW); the base draws nothing.
    virtual void DrawItem(const DRAWITEMSTRUCT* dis);

protected:
    bool OnReflectedDrawItem(const DRAWITEMSTRUCT* dis) override;
};

class CSliderCtrl : public CWnd {
public:
    // Creates a trackbar window (range 0..100 by default) and attaches it.
    bool Create(DWORD style, const RECT& rect, HWND parent, UINT id);
    int GetPos() const { return static_cast<int>(::SendMessageA(m_hWnd, TBM_GETPOS, 0, 0)); }
    void SetPos(int pos, BOOL redraw = TRUE) { ::SendMessageA(m_hWnd, TBM_SETPOS, redraw, pos); }
    void GetThumbRect(RECT* rect) const { ::SendMessageA(m_hWnd, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(rect)); }
};

class CToolTipCtrl {
public:
    CToolTipCtrl() = default;
    ~CToolTipCtrl();
    CToolTipCtrl(const CToolTipCtrl&) = delete;
    CToolTipCtrl& operator=(const CToolTipCtrl&) = delete;

    bool Create(HWND owner);
    bool Exists() const { return m_hWnd != nullptr; }
    void Activate(BOOL active);
    int GetToolCount() const;
    bool AddTool(HWND owner, const char* text, const RECT& rect, UINT_PTR id);
    void UpdateTipText(HWND owner, const char* text, UINT_PTR id);
    void RelayEvent(const MSG* msg);
    void Destroy();
    HWND m_hWnd = nullptr;
};

// An array of pointers that the owner manages; it deletes nothing.
template <class T>
class CTypedPtrArray {
public:
    int GetSize() const { return static_cast<int>(m_items.size()); }
    T* GetAt(int index) const {
        return index >= 0 && index < GetSize() ? m_items[static_cast<size_t>(index)] : nullptr;
    }
    T* operator[](int index) const { return GetAt(index); }
    // Appends; returns the new index, or -1 when memory ran out.
    int Add(T* item) {
        try {
            m_items.push_back(item);
        } catch (const std::bad_alloc&) {
            return -1;
        }
        return GetSize() - 1;
    }
    void RemoveAll() { m_items.clear(); }

private:
    std::vector<T*> m_items;
};

}  // namespace skin
