#pragma once
// A dialog window made from a dialog template, owned by this object.

#include "cpl/skin/wnd.h"

namespace skin {

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, HWND parent = nullptr);
    ~CDialog() override;

    // Runs the dialog modally; returns the EndDialog result, or -1 when the
    // window could not be created.
    INT_PTR DoModal();
    // Creates the dialog modeless (tests, or a host with its own message
    // loop); EndDialog then destroys it.
    bool Create(HWND parent = nullptr);
    void EndDialog(INT_PTR result);
    bool IsModal() const { return m_modal; }

    // Dialog initialisation: the base returns TRUE (focus to the default
    // control).
    virtual BOOL OnInitDialog();

protected:
    UINT m_templateId;
    HWND m_parent;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    bool m_modal = false;
};

}  // namespace skin
