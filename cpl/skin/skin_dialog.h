#pragma once
// The skinned dialog: a borderless window shaped by the skin mask, painted
// from the skin images, holding the controls of the layout tables and
// addressing them by element name.
//
// A derived dialog overrides the On... hooks and, when it handles messages
// of its own, WindowProc, passing everything else to CSkinDialog::WindowProc.
// Its OnInitDialog calls CSkinDialog::OnInitDialog (which loads the skin)
// first.

#include <cstdint>

#include "cpl/skin/controls.h"
#include "cpl/skin/dialog.h"
#include "cpl/skin/gdi.h"
#include "cpl/skin/skin_controls.h"
#include "cpl/skin/skin_resource.h"
#include "cpl/skin/skin_surface.h"

namespace skin {

class CSkinDialog : public CDialog, public SkinSurface {
public:
    explicit CSkinDialog(UINT templateId = IDD_CPL_MAIN, HWND parent = nullptr);
    ~CSkinDialog() override;

    // Hooks and index operations, in this order.
    virtual void OnSkinButtonClicked(const char* name);
    virtual void SkinButtonClicked(int index);
    virtual void OnSkinSliderChanged(const char* name, int code, int value);
    virtual void SkinSliderChanged(int index, int code, int position);  // value = 100 - position
    virtual void OnSkinLabelClicked(const char* name);
    virtual void SkinLabelClicked(int index);
    virtual void OnSkinHover(const char* name, int x, int y);  // "" over the background
    virtual void SetSkinRegion(const CBitmap& mask);
    virtual void LoadSkin();

    BOOL OnInitDialog() override;  // standard initialisation, then LoadSkin

    // Name-based operations: the first control with that name; an unknown
    // name does nothing and the getters return 0.
    void ShowButton(const char* name, BOOL visible) override;
    void EnableButton(const char* name, BOOL enabled) override;
    void SetButtonCheck(const char* name, BOOL latched) override;
    int GetButtonCheck(const char* name) const override;
    void ShowSlider(const char* name, BOOL visible) override;
    void SetSliderPos(const char* name, int value) override;  // trackbar at 100 - value
    int GetSliderPos(const char* name) const override;        // 100 - trackbar position
    void ShowLabel(const char* name, BOOL visible) override;
    void SetLabelText(const char* name, const char* text) override;
    void ResetVisibility();

    // Lookups (null for an unknown name) and the lists, valid until the next
    // LoadSkin.
    CSkinButton* FindButton(const char* name) const;
    CSkinSlider* FindSlider(const char* name) const;
    CSkinLabel* FindLabel(const char* name) const;
    const CTypedPtrArray<CSkinButton>& Buttons() const { return m_buttons; }
    const CTypedPtrArray<CSkinSlider>& Sliders() const { return m_sliders; }
    const CTypedPtrArray<CSkinLabel>& Labels() const { return m_labels; }
    int SkinWidth() const { return m_windowWidth; }
    int SkinHeight() const { return m_windowHeight; }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnPaint();
    void DeleteControls();
    void CreateButtons();
    void CreateLabels();
    void CreateSliders();

    CTypedPtrArray<CSkinButton> m_buttons;
    CTypedPtrArray<CSkinSlider> m_sliders;
    CTypedPtrArray<CSkinLabel> m_labels;
    CTypedPtrArray<CSkinProgress> m_progressBars;
    CBitmap m_backgroundImage;
    CBitmap m_highlightImage;
    CBitmap m_pressedImage;
    CBitmap m_disabledImage;
    CBitmap m_normalImage;
    int m_windowHeight = 0;
    int m_windowWidth = 0;
};

// Seams for the region errors, so tests can see them without a box on the
// screen. Each setter returns the previous function.
using SkinMessageBoxFn = int (*)(HWND owner, const char* text, const char* caption, UINT type);
using SkinRegionFromMaskFn = HRGN (*)(HBITMAP mask);
using SkinSetWindowRgnFn = int (*)(HWND window, HRGN region, BOOL redraw);
SkinMessageBoxFn SetSkinMessageBox(SkinMessageBoxFn fn);
SkinRegionFromMaskFn SetSkinRegionFromMask(SkinRegionFromMaskFn fn);
SkinSetWindowRgnFn SetSkinSetWindowRgn(SkinSetWindowRgnFn fn);

}  // namespace skin
