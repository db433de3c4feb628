// Each control the dialog creates carries the settings of its table row:
// place, tooltip, font, colour, text, slider set-up.

#include <cstring>

#include "cpl/skin/skin_tables.h"
#include "skin/skin_dialog_fixture.h"

namespace skintest {
namespace {

RECT InDialog(HWND dialog, HWND control) {
    RECT r;
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void ExpectRect(const RECT& got, int x, int y, int w, int h, const char* name) {
    EXPECT_EQ(got.left, x) << name;
    EXPECT_EQ(got.top, y) << name;
    EXPECT_EQ(got.right, x + w) << name;
    EXPECT_EQ(got.bottom, y + h) << name;
}

struct TooltipSearch {
    HWND button;
    std::string text;
    int tools = 0;  // tooltip windows that hold a tool for the button
};

// A tooltip owned by a child window belongs to the child's top-level
// window, so each tooltip of the thread is asked whether it has the
// button's tool 1.
BOOL CALLBACK AskTooltip(HWND hwnd, LPARAM p) {
    auto* search = reinterpret_cast<TooltipSearch*>(p);
    char cls[64] = {};
    ::GetClassNameA(hwnd, cls, sizeof cls);
    if (::lstrcmpiA(cls, TOOLTIPS_CLASSA) != 0) return TRUE;
    char text[128] = {};
    TOOLINFOA ti{};
    ti.cbSize = TTTOOLINFOA_V2_SIZE;
    ti.hwnd = search->button;
    ti.uId = 1;
    if (!::SendMessageA(hwnd, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&ti))) return TRUE;
    ti.lpszText = text;
    ::SendMessageA(hwnd, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&ti));
    search->text = text;
    ++search->tools;
    return TRUE;
}

// The text of the button's tooltip; "" without one, "(several)" when more
// than one tooltip window serves it.
std::string TooltipText(HWND button) {
    TooltipSearch search{button, "", 0};
    ::EnumThreadWindows(::GetCurrentThreadId(), AskTooltip, reinterpret_cast<LPARAM>(&search));
    return search.tools > 1 ? "(several)" : search.text;
}

TEST_F(SkinDialogTest, ButtonsTakeTheirRowsRectangleTooltipAndLatching) {
    ASSERT_EQ(dialog->Buttons().GetSize(), 43);
    for (int i = 0; i < 43; ++i) {
        const skin::SkinButtonRow& row = skin::SkinButtonDef[i];
        skin::CSkinButton* b = dialog->Buttons()[i];
        ExpectRect(InDialog(hwnd, b->m_hWnd), row.x, row.y, row.width, row.height, row.name);
        EXPECT_EQ(TooltipText(b->m_hWnd), row.caption) << row.name;
        char text[16] = "x";
        ::GetWindowTextA(b->m_hWnd, text, sizeof text);
        EXPECT_STREQ(text, "") << row.name;  // the caption lives in the artwork
        EXPECT_EQ(b->m_latching, row.latching) << row.name;
        EXPECT_EQ(b->m_mask, row.mask) << row.name;
        EXPECT_EQ(::GetDlgCtrlID(b->m_hWnd), 0) << row.name;
        EXPECT_EQ(b->GetStyle() & (WS_TABSTOP | WS_BORDER), 0u) << row.name;
    }
    // Only the hide button is a push button.
    EXPECT_EQ(dialog->FindButton("BTN_HIDE")->m_latching, 0);
    EXPECT_EQ(dialog->FindButton("BTN_P_VOL_GANG")->m_latching, 1);
}

TEST_F(SkinDialogTest, LabelsTakeTheirRowsFontColourTextAndPlace) {
    ASSERT_EQ(dialog->Labels().GetSize(), 10);
    for (int i = 0; i < 10; ++i) {
        const skin::SkinLabelRow& row = skin::SkinLabelDef[i];
        skin::CSkinLabel* l = dialog->Labels()[i];
        ExpectRect(InDialog(hwnd, l->m_hWnd), row.x, row.y, row.width, row.height, row.name);
        EXPECT_EQ(l->m_text, row.text) << row.name;
        char text[64] = {};
        ::GetWindowTextA(l->m_hWnd, text, sizeof text);
        EXPECT_STREQ(text, row.text) << row.name;
        EXPECT_EQ(l->m_textColour, row.colour) << row.name;
        EXPECT_EQ(l->m_index, i);

        LOGFONTA lf{};
        ASSERT_TRUE(::GetObjectA(l->m_font.m_hObject, sizeof lf, &lf)) << row.name;
        EXPECT_EQ(lf.lfHeight, row.size) << row.name;
        EXPECT_EQ(lf.lfWeight, row.bold ? FW_BOLD : FW_NORMAL) << row.name;
        EXPECT_EQ(lf.lfItalic, row.upright ? 0 : 1) << row.name;
        EXPECT_EQ(lf.lfCharSet, DEFAULT_CHARSET) << row.name;
        EXPECT_STREQ(lf.lfFaceName, row.face) << row.name;
        // Every label of this panel is bold italic Arial.
        EXPECT_EQ(lf.lfWeight, 700) << row.name;
        EXPECT_EQ(lf.lfItalic, 1) << row.name;
        EXPECT_STREQ(lf.lfFaceName, "Arial") << row.name;
    }
    // COLORREF order: red in the low byte.
    EXPECT_EQ(dialog->FindLabel("TXT_ASIOSTATE")->m_textColour, RGB(16, 61, 239));
    EXPECT_EQ(dialog->FindLabel("TXT_ASIODSD")->m_textColour, RGB(0, 0, 255));
}

TEST_F(SkinDialogTest, SlidersTakeTheirRowsPlaceOrientationAndPosition) {
    ASSERT_EQ(dialog->Sliders().GetSize(), 4);
    for (int i = 0; i < 4; ++i) {
        const skin::SkinSliderRow& row = skin::SkinSliderDef[i];
        skin::CSkinSlider* s = dialog->Sliders()[i];
        ExpectRect(InDialog(hwnd, s->m_hWnd), row.x, row.y, row.width, row.height, row.name);
        EXPECT_EQ(::SendMessageA(s->m_hWnd, TBM_GETPOS, 0, 0), row.position) << row.name;
        EXPECT_EQ((s->GetStyle() & TBS_VERT) != 0, row.horizontal == 0) << row.name;
        EXPECT_EQ(s->GetStyle() & (WS_TABSTOP | WS_BORDER), 0u) << row.name;
        EXPECT_EQ(s->m_mask, row.mask) << row.name;
        SIZE thumb = s->m_normalThumb.GetSize();
        EXPECT_EQ(thumb.cx, 8) << row.name;
        EXPECT_EQ(thumb.cy, 16) << row.name;
        EXPECT_NE(s->m_activeThumb.GetSafeHandle(), nullptr) << row.name;
        EXPECT_NE(s->m_disabledThumb.GetSafeHandle(), nullptr) << row.name;
        // The thumb image sits on the trackbar's own thumb: horizontal, from
        // the top edge, centred on it.
        RECT tb{};
        s->GetThumbRect(&tb);
        RECT img = s->ThumbRect();
        EXPECT_EQ(img.top, 0) << row.name;
        EXPECT_EQ(img.bottom, 16) << row.name;
        EXPECT_EQ(img.left, tb.left + (tb.right - tb.left) / 2 - 4) << row.name;
    }
}

}  // namespace
}  // namespace skintest
