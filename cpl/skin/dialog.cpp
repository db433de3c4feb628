#include "cpl/skin/dialog.h"

namespace skin {

CDialog::CDialog(UINT templateId, HWND parent) : m_templateId(templateId), m_parent(parent) {}

CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal() {
    if (m_hWnd) return -1;
    m_modal = true;
    INT_PTR result = ::DialogBoxParamA(SkinResourceInstance(), MAKEINTRESOURCEA(m_templateId), m_parent,
                                       &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    m_modal = false;
    return result;
}

bool CDialog::Create(HWND parent) {
    if (m_hWnd) return false;
    m_modal = false;
    if (parent) m_parent = parent;
    HWND hwnd = ::CreateDialogParamA(SkinResourceInstance(), MAKEINTRESOURCEA(m_templateId), m_parent,
                                     &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    return hwnd != nullptr && m_hWnd == hwnd;
}

void CDialog::EndDialog(INT_PTR result) {
    if (!m_hWnd) return;
    if (m_modal) {
        ::EndDialog(m_hWnd, result);
    } else {
        DestroyWindow();
    }
}

BOOL CDialog::OnInitDialog() { return TRUE; }

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT msg, WPARAM, LPARAM lParam) {
    if (msg != WM_INITDIALOG) return FALSE;
    // From here on every message passes through the object's WindowProc;
    // its Default reaches the dialog manager, which calls back here and
    // finds nothing more to do.
    auto* self = reinterpret_cast<CDialog*>(lParam);
    if (!self || !self->SubclassHwnd(hwnd)) return TRUE;
    return self->OnInitDialog();
}

}  // namespace skin
