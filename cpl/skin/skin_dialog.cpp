#include "cpl/skin/skin_dialog.h"

#include <windowsx.h>

#include <cstring>

#include "common/win_owners.h"
#include "cpl/skin/region_win.h"
#include "cpl/skin/skin_tables.h"

namespace skin {

namespace {

const char kRegionCaption[] = "Tarvo-X ASIO CPL";

int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT type) {
    return ::MessageBoxA(owner, text, caption, type);
}

int SetRgn(HWND window, HRGN region, BOOL redraw) { return ::SetWindowRgn(window, region, redraw); }

SkinMessageBoxFn g_messageBox = &ShowMessageBox;
SkinRegionFromMaskFn g_regionFromMask = &RegionFromMask;
SkinSetWindowRgnFn g_setWindowRgn = &SetRgn;

template <class T>
T* FindByName(const CTypedPtrArray<T>& list, const char* name) {
    if (!name) return nullptr;
    for (int i = 0; i < list.GetSize(); ++i) {
        T* item = list.GetAt(i);
        if (item && item->m_name == name) return item;
    }
    return nullptr;
}

RECT RowRect(int x, int y, int width, int height) { return RECT{x, y, x + width, y + height}; }

}  // namespace

SkinMessageBoxFn SetSkinMessageBox(SkinMessageBoxFn fn) {
    SkinMessageBoxFn old = g_messageBox;
    g_messageBox = fn ? fn : &ShowMessageBox;
    return old;
}

SkinRegionFromMaskFn SetSkinRegionFromMask(SkinRegionFromMaskFn fn) {
    SkinRegionFromMaskFn old = g_regionFromMask;
    g_regionFromMask = fn ? fn : &RegionFromMask;
    return old;
}

SkinSetWindowRgnFn SetSkinSetWindowRgn(SkinSetWindowRgnFn fn) {
    SkinSetWindowRgnFn old = g_setWindowRgn;
    g_setWindowRgn = fn ? fn : &SetRgn;
    return old;
}

CSkinDialog::CSkinDialog(UINT templateId, HWND parent) : CDialog(templateId, parent) {}

CSkinDialog::~CSkinDialog() { DeleteControls(); }

void CSkinDialog::OnSkinButtonClicked(const char*) {}

void CSkinDialog::SkinButtonClicked(int index) {
    if (CSkinButton* b = m_buttons.GetAt(index)) OnSkinButtonClicked(b->m_name.c_str());
}

void CSkinDialog::OnSkinSliderChanged(const char*, int, int) {}

void CSkinDialog::SkinSliderChanged(int index, int code, int position) {
    if (CSkinSlider* s = m_sliders.GetAt(index)) OnSkinSliderChanged(s->m_name.c_str(), code, 100 - position);
}

void CSkinDialog::OnSkinLabelClicked(const char*) {}

void CSkinDialog::SkinLabelClicked(int index) {
    if (CSkinLabel* l = m_labels.GetAt(index)) OnSkinLabelClicked(l->m_name.c_str());
}

void CSkinDialog::OnSkinHover(const char*, int, int) {}

void CSkinDialog::SetSkinRegion(const CBitmap& mask) {
    if (!m_hWnd) return;
    veltrano::UniqueGdiObject<HRGN> region(
        mask.GetSafeHandle() ? g_regionFromMask(mask.GetSafeHandle()) : nullptr);
    if (region) {
        // On success the system owns the region.
        if (g_setWindowRgn(m_hWnd, region.get(), TRUE)) {
            region.release();
        } else {
            g_messageBox(m_hWnd, "Wrong Window Region?", kRegionCaption, MB_OK);
        }
    } else {
        g_messageBox(m_hWnd, "Wrong Region?", kRegionCaption, MB_OK);
    }
    Invalidate(TRUE);
}

void CSkinDialog::DeleteControls() {
    for (int i = 0; i < m_buttons.GetSize(); ++i) delete m_buttons.GetAt(i);
    m_buttons.RemoveAll();
    for (int i = 0; i < m_sliders.GetSize(); ++i) delete m_sliders.GetAt(i);
    m_sliders.RemoveAll();
    for (int i = 0; i < m_labels.GetSize(); ++i) delete m_labels.GetAt(i);
    m_labels.RemoveAll();
    for (int i = 0; i < m_progressBars.GetSize(); ++i) delete m_progressBars.GetAt(i);
    m_progressBars.RemoveAll();
}

void CSkinDialog::LoadSkin() {
    m_backgroundImage.DeleteObject();
    m_highlightImage.DeleteObject();
    m_pressedImage.DeleteObject();
    m_disabledImage.DeleteObject();
    m_normalImage.DeleteObject();
    DeleteControls();

    m_backgroundImage.LoadBitmap(SKIN_IMG_BACKGROUND);
    CBitmap mask;
    mask.LoadBitmap(SKIN_IMG_MASK);
    SIZE size = mask.GetSize();
    if (m_hWnd) {
        ::SetWindowPos(m_hWnd, HWND_TOP, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOOWNERZORDER);
    }
    m_windowHeight = size.cy;
    m_windowWidth = size.cx;
    m_highlightImage.LoadBitmap(SKIN_IMG_HIGHLIGHT);
    m_pressedImage.LoadBitmap(SKIN_IMG_PRESSED);
    m_disabledImage.LoadBitmap(SKIN_IMG_DISABLED);
    m_normalImage.LoadBitmap(SKIN_IMG_NORMAL);
    SetSkinRegion(mask);
    if (m_hWnd) {
        CreateButtons();
        CreateLabels();
        CreateSliders();
        Invalidate(TRUE);
    }
}

void CSkinDialog::CreateButtons() {
    for (size_t i = 0; i < kSkinButtonCount; ++i) {
        const SkinButtonRow& row = SkinButtonDef[i];
        RECT rect = RowRect(row.x, row.y, row.width, row.height);
        auto* button = new (std::nothrow) CSkinButton;
        if (!button) return;
        if (!button->Create("", WS_CHILD | WS_VISIBLE, rect, m_hWnd, 0)) {
            delete button;
            continue;
        }
        button->m_mask = row.mask;
        if (row.mask != 0) {
            int shift = LayoutShift(row.mask) * m_windowHeight;
            rect.top += shift;
            rect.bottom += shift;
        }
        button->LoadImages(m_backgroundImage, m_highlightImage, m_pressedImage, m_disabledImage, m_normalImage,
                           rect);
        button->ModifyStyle(WS_BORDER | WS_TABSTOP, 0);
        button->m_index = static_cast<int>(i);
        button->m_name = row.name;
        button->AddTooltipText(row.caption);
        button->m_latching = row.latching;
        if (m_buttons.Add(button) < 0) delete button;
    }
}

void CSkinDialog::CreateLabels() {
    for (size_t i = 0; i < kSkinLabelCount; ++i) {
        const SkinLabelRow& row = SkinLabelDef[i];
        RECT rect = RowRect(row.x, row.y, row.width, row.height);
        auto* label = new (std::nothrow) CSkinLabel;
        if (!label) return;
        if (!label->Create(row.text, WS_CHILD | WS_VISIBLE, rect, m_hWnd, 0)) {
            delete label;
            continue;
        }
        label->m_mask = static_cast<int>(row.mask);
        CutImage(label->m_backgroundSnapshot, m_backgroundImage, rect, label->m_hWnd);
        label->m_index = static_cast<int>(i);
        label->m_name = row.name;
        label->SetText(row.text);
        label->m_textColour = row.colour;
        LOGFONTA lf{};
        lf.lfHeight = row.size;
        lf.lfWeight = row.bold ? FW_BOLD : FW_NORMAL;
        lf.lfItalic = row.upright == 0 ? 1 : 0;
        lf.lfCharSet = DEFAULT_CHARSET;
        std::strncpy(lf.lfFaceName, row.face, LF_FACESIZE - 1);
        label->SetFont(lf);
        label->Remeasure();
        if (m_labels.Add(label) < 0) delete label;
    }
}

void CSkinDialog::CreateSliders() {
    for (size_t i = 0; i < kSkinSliderCount; ++i) {
        const SkinSliderRow& row = SkinSliderDef[i];
        RECT rect = RowRect(row.x, row.y, row.width, row.height);
        auto* slider = new (std::nothrow) CSkinSlider;
        if (!slider) return;
        if (!slider->Create(WS_CHILD | WS_VISIBLE, rect, m_hWnd, 0)) {
            delete slider;
            continue;
        }
        slider->m_mask = row.mask;
        if (row.mask != 0) {
            int shift = LayoutShift(row.mask) * m_windowHeight;
            rect.top += shift;
            rect.bottom += shift;
        }
        slider->LoadImages(m_normalImage, m_disabledImage, rect, row.thumbNormal, row.thumbActive,
                           row.thumbDisabled);
        slider->ModifyStyle(WS_BORDER | WS_TABSTOP, 0);
        slider->m_index = static_cast<int>(i);
        slider->m_name = row.name;
        slider->SetPos(row.position, TRUE);
        if (!row.horizontal) slider->ModifyStyle(0, TBS_VERT);
        if (m_sliders.Add(slider) < 0) delete slider;
    }
}

BOOL CSkinDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    LoadSkin();
    return TRUE;
}

CSkinButton* CSkinDialog::FindButton(const char* name) const { return FindByName(m_buttons, name); }
CSkinSlider* CSkinDialog::FindSlider(const char* name) const { return FindByName(m_sliders, name); }
CSkinLabel* CSkinDialog::FindLabel(const char* name) const { return FindByName(m_labels, name); }

void CSkinDialog::ShowButton(const char* name, BOOL visible) {
    if (CSkinButton* b = FindButton(name)) {
        b->ShowWindow(visible ? SW_SHOW : SW_HIDE);
        b->m_visible = visible ? 1 : 0;
    }
}

void CSkinDialog::EnableButton(const char* name, BOOL enabled) {
    if (CSkinButton* b = FindButton(name)) b->EnableWindow(enabled);
}

void CSkinDialog::SetButtonCheck(const char* name, BOOL latched) {
    CSkinButton* b = FindButton(name);
    if (!b) return;
    int value = latched ? 1 : 0;
    if (value != b->m_latched) {
        b->m_latched = value;
        b->Invalidate(TRUE);
    }
    b->RedrawWindow(RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

int CSkinDialog::GetButtonCheck(const char* name) const {
    CSkinButton* b = FindButton(name);
    return b ? b->m_latched : 0;
}

void CSkinDialog::ShowSlider(const char* name, BOOL visible) {
    if (CSkinSlider* s = FindSlider(name)) {
        s->ShowWindow(visible ? SW_SHOW : SW_HIDE);
        s->m_visible = visible ? 1 : 0;
    }
}

void CSkinDialog::SetSliderPos(const char* name, int value) {
    if (CSkinSlider* s = FindSlider(name)) {
        s->SetPos(100 - value, TRUE);
        s->Invalidate(TRUE);
    }
}

int CSkinDialog::GetSliderPos(const char* name) const {
    CSkinSlider* s = FindSlider(name);
    return s ? 100 - s->GetPos() : 0;
}

void CSkinDialog::ShowLabel(const char* name, BOOL visible) {
    if (CSkinLabel* l = FindLabel(name)) {
        l->ShowWindow(visible ? SW_SHOW : SW_HIDE);
        l->m_visible = visible ? 1 : 0;
    }
}

void CSkinDialog::SetLabelText(const char* name, const char* text) {
    if (CSkinLabel* l = FindLabel(name)) l->SetText(text);
}

void CSkinDialog::ResetVisibility() {
    for (int i = 0; i < m_buttons.GetSize(); ++i) {
        CSkinButton* b = m_buttons.GetAt(i);
        int shown = (b->m_mask & 1u) ? 1 : 0;
        b->ShowWindow(shown ? SW_SHOWNORMAL : SW_HIDE);
        b->m_visible = shown;
    }
    for (int i = 0; i < m_labels.GetSize(); ++i) {
        CSkinLabel* l = m_labels.GetAt(i);
        l->ShowWindow((l->m_mask & 1) ? SW_SHOWNORMAL : SW_HIDE);
    }
    for (int i = 0; i < m_sliders.GetSize(); ++i) {
        CSkinSlider* s = m_sliders.GetAt(i);
        s->ShowWindow((s->m_mask & 1u) ? SW_SHOWNORMAL : SW_HIDE);
    }
}

void CSkinDialog::OnPaint() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    if (dc) {
        RECT client;
        GetClientRect(&client);
        BlitImage(dc, 0, 0, client.right - client.left, client.bottom - client.top,
                  m_backgroundImage.GetSafeHandle());
        ::EndPaint(m_hWnd, &ps);
    }
    for (int i = 0; i < m_buttons.GetSize(); ++i) m_buttons.GetAt(i)->Invalidate(TRUE);
    for (int i = 0; i < m_sliders.GetSize(); ++i) m_sliders.GetAt(i)->Invalidate(TRUE);
    for (int i = 0; i < m_labels.GetSize(); ++i) m_labels.GetAt(i)->Invalidate(TRUE);
}

LRESULT CSkinDialog::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_PAINT:
            OnPaint();
            return 0;
        case WM_LBUTTONDOWN:
        {
            // Any point of the background moves the window.
            POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ::ClientToScreen(m_hWnd, &point);
            ::PostMessageA(m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(point.x, point.y));
        }
            return CDialog::WindowProc(msg, wParam, lParam);
        case WM_MOUSEMOVE: {
            LRESULT r = CDialog::WindowProc(msg, wParam, lParam);
            OnSkinHover("", GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            return r;
        }
        default:
            return CDialog::WindowProc(msg, wParam, lParam);
    }
}

}  // namespace skin
