#include "cpl/skin/controls.h"

namespace skin {

bool CButton::Create(const char* text, DWORD style, const RECT& rect, HWND parent, UINT id) {
    HWND hwnd = ::CreateWindowExA(0, "BUTTON", text ? text : "", style, rect.left, rect.top,
                                  rect.right - rect.left, rect.bottom - rect.top, parent,
                                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), SkinResourceInstance(),
                                  nullptr);
    if (!hwnd) return false;
    if (!SubclassHwnd(hwnd)) {
        ::DestroyWindow(hwnd);
        return false;
    }
    return true;
}

void CButton::DrawItem(const DRAWITEMSTRUCT*) {}

bool CButton::OnReflectedDrawItem(const DRAWITEMSTRUCT* dis) {
    DrawItem(dis);
    return true;
}

bool CSliderCtrl::Create(DWORD style, const RECT& rect, HWND parent, UINT id) {
    HWND hwnd = ::CreateWindowExA(0, TRACKBAR_CLASSA, "", style, rect.left, rect.top, rect.right - rect.left,
                                  rect.bottom - rect.top, parent,
                                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), SkinResourceInstance(),
                                  nullptr);
    if (!hwnd) return false;
    if (!SubclassHwnd(hwnd)) {
        ::DestroyWindow(hwnd);
        return false;
    }
    return true;
}

CToolTipCtrl::~CToolTipCtrl() { Destroy(); }

void CToolTipCtrl::Destroy() {
    if (m_hWnd && ::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
}

bool CToolTipCtrl::Create(HWND owner) {
    if (m_hWnd) return true;
    m_hWnd = ::CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                               SkinResourceInstance(), nullptr);
    return m_hWnd != nullptr;
}

void CToolTipCtrl::Activate(BOOL active) {
    if (m_hWnd) ::SendMessageA(m_hWnd, TTM_ACTIVATE, active, 0);
}

int CToolTipCtrl::GetToolCount() const {
    return m_hWnd ? static_cast<int>(::SendMessageA(m_hWnd, TTM_GETTOOLCOUNT, 0, 0)) : 0;
}

namespace {

TOOLINFOA MakeTool(HWND owner, const char* text, UINT_PTR id) {
    TOOLINFOA ti{};
    // The version-2 size works with every common-controls version.
    ti.cbSize = TTTOOLINFOA_V2_SIZE;
    ti.hwnd = owner;
    ti.uId = id;
    ti.lpszText = const_cast<char*>(text ? text : "");
    return ti;
}

}  // namespace

bool CToolTipCtrl::AddTool(HWND owner, const char* text, const RECT& rect, UINT_PTR id) {
    if (!m_hWnd) return false;
    TOOLINFOA ti = MakeTool(owner, text, id);
    ti.rect = rect;
    return ::SendMessageA(m_hWnd, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti)) != 0;
}

void CToolTipCtrl::UpdateTipText(HWND owner, const char* text, UINT_PTR id) {
    if (!m_hWnd) return;
    TOOLINFOA ti = MakeTool(owner, text, id);
    ::SendMessageA(m_hWnd, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&ti));
}

void CToolTipCtrl::RelayEvent(const MSG* msg) {
    if (m_hWnd) ::SendMessageA(m_hWnd, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(msg));
}

}  // namespace skin
