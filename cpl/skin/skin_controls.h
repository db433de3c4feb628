#pragma once
// The skin controls: child windows of a CSkinDialog that draw themselves
// from pieces cut out of the dialog's whole-window skin images.
//
//   CBitmapBtn    owner-drawn button with five state images and a tooltip
//   CSkinButton   + element name, index, layout mask; reports clicks
//   CAnimatedLabel  button window that paints a text over a background piece
//   CSkinLabel    + element name, index, layout mask; reports clicks
//   CBitmapSlider trackbar painted from a background piece and thumb images
//   CSkinSlider   + element name, index, layout mask; reports moves

#include <string>

#include "cpl/skin/controls.h"
#include "cpl/skin/gdi.h"

namespace skin {

class CSkinDialog;

// The scroll-bar codes the sliders report.
constexpr int kSliderCodeThumbPosition = 4;  // SB_THUMBPOSITION: while dragging
constexpr int kSliderCodeEndScroll = 8;      // SB_ENDSCROLL: on release

class CBitmapBtn : public CButton {
public:
    CBitmapBtn() = default;
    ~CBitmapBtn() override;

    // Cuts the five state images at rect from the dialog's five skin images.
    void LoadImages(const CBitmap& background, const CBitmap& highlight, const CBitmap& pressed,
                    const CBitmap& disabled, const CBitmap& normal, const RECT& rect);
    void AddTooltipText(const char* text);
    void DrawItem(const DRAWITEMSTRUCT* dis) override;

    int m_latched = 0;
    int m_latching = 0;
    int m_visible = 1;
    int m_highlighted = 0;

    CBitmap m_backgroundImage;
    CBitmap m_highlightImage;
    CBitmap m_pressedImage;
    CBitmap m_disabledImage;
    CBitmap m_normalImage;

    // Which image a look picks (exposed so the rules can be checked directly).
    enum class Look { Background, Highlight, Pressed, Disabled, Normal };
    static Look ChooseLook(int latching, int visible, int latched, int highlighted, bool pressed,
                           bool disabled);

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void PreSubclassHwnd() override;
    void OnMouseMove(UINT flags, POINT point);
    void EnsureTooltip();

    CToolTipCtrl m_tooltip;
};

class CSkinButton : public CBitmapBtn {
public:
    std::string m_name;
    int m_index = 0;
    uint32_t m_mask = 0;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
};

class CAnimatedLabel : public CBitmapBtn {
public:
    CAnimatedLabel();
    ~CAnimatedLabel() override;

    void SetText(const char* text);
    void Remeasure();
    void SetFont(const LOGFONTA& lf);
    // The button's own state drawing would paint over the text: repaint.
    void DrawItem(const DRAWITEMSTRUCT* dis) override;

    int m_scrollPos = 0;
    int m_capacity = 0;
    std::string m_text;
    COLORREF m_textColour = 0;
    CBitmap m_backgroundSnapshot;
    int m_scrolling = 0;
    CFont m_font;

    // The text as painted: the text from the scroll position, repeated with
    // " ** " until it holds at least capacity characters when it does not fit.
    static std::string ShownText(const std::string& text, int scrollPos, int capacity);
    // How often a label too narrow for its text moves it by one character.
    static constexpr UINT kScrollIntervalMs = 300;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnPaint();
};

class CSkinLabel : public CAnimatedLabel {
public:
    std::string m_name;
    int m_index = 0;
    int m_mask = 0;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
};

class CBitmapSlider : public CSliderCtrl {
public:
    // Backgrounds from the normal and disabled skin images at rect; thumbs
    // from three bitmap resources.
    void LoadImages(const CBitmap& normal, const CBitmap& disabled, const RECT& rect,
                    UINT thumbNormal, UINT thumbActive, UINT thumbDisabled);
    // Where the thumb image is drawn, in client coordinates.
    RECT ThumbRect() const;

    CBitmap m_normalBackground;
    CBitmap m_disabledBackground;
    CBitmap m_normalThumb;
    CBitmap m_activeThumb;
    CBitmap m_disabledThumb;
    int m_visible = 1;
    int m_disabled = 0;
    int m_grabbed = 0;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnPaint();
    virtual void ClearDragging() {}
};

class CSkinSlider : public CBitmapSlider {
public:
    std::string m_name;
    int m_index = 0;
    uint32_t m_mask = 0;
    int m_dragging = 0;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void ClearDragging() override { m_dragging = 0; }
};

// Never created; it types the dialog's (always empty) progress-bar list.
class CSkinProgress : public CWnd {};

// The skin dialog a control reports to (its parent), or null.
CSkinDialog* SkinParentOf(const CWnd& control);

}  // namespace skin
