// The skin dialog on the real template and artwork: controls from the
// tables, visibility, the name-based operations, the window's shape.

#include <cstring>
#include <functional>
#include <string>

#include "cpl/skin/region_win.h"
#include "cpl/skin/skin_surface.h"
#include "cpl/skin/skin_tables.h"
#include "skin/skin_dialog_fixture.h"

namespace skintest {

std::vector<RecordedBox>& RecordedBoxes() {
    static std::vector<RecordedBox> boxes;
    return boxes;
}

int RecordBox(HWND, const char* text, const char* caption, UINT) {
    RecordedBoxes().push_back({text, caption});
    return IDOK;
}

namespace {

// A named CALLBACK function: a lambda converts only to a cdecl pointer,
// which 32-bit Windows would call with the wrong convention.
BOOL CALLBACK CountChild(HWND, LPARAM p) {
    ++*reinterpret_cast<int*>(p);
    return TRUE;
}

int CountChildren(HWND parent) {
    int n = 0;
    ::EnumChildWindows(parent, CountChild, reinterpret_cast<LPARAM>(&n));
    return n;
}

void ExpectTableOrder(const TestSkinDialog& d) {
    ASSERT_EQ(d.Buttons().GetSize(), 43);
    ASSERT_EQ(d.Labels().GetSize(), 10);
    ASSERT_EQ(d.Sliders().GetSize(), 4);
    for (int i = 0; i < 43; ++i) {
        EXPECT_EQ(d.Buttons()[i]->m_name, skin::SkinButtonDef[i].name);
        EXPECT_EQ(d.Buttons()[i]->m_index, i);
        EXPECT_EQ(d.Buttons()[i]->m_latching, skin::SkinButtonDef[i].latching);
        RECT r;
        ::GetWindowRect(d.Buttons()[i]->m_hWnd, &r);
        ::MapWindowPoints(nullptr, d.m_hWnd, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, skin::SkinButtonDef[i].x);
        EXPECT_EQ(r.bottom, skin::SkinButtonDef[i].y + skin::SkinButtonDef[i].height);
    }
    for (int i = 0; i < 10; ++i) EXPECT_EQ(d.Labels()[i]->m_name, skin::SkinLabelDef[i].name);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(d.Sliders()[i]->m_name, skin::SkinSliderDef[i].name);
    EXPECT_EQ(d.Buttons()[0]->m_name, "BTN_HIDE");
    EXPECT_EQ(d.Buttons()[42]->m_name, "BTN_RMCT_START_SVR");
}

}  // namespace

TEST_F(SkinDialogTest, LoadSkinBuildsOneSetOfControlsInTableOrder) {
    ExpectTableOrder(*dialog);
    RECT w;
    ::GetWindowRect(hwnd, &w);
    EXPECT_EQ(w.right - w.left, 299);
    EXPECT_EQ(w.bottom - w.top, 640);
    EXPECT_EQ(dialog->SkinWidth(), 299);
    EXPECT_EQ(dialog->SkinHeight(), 640);
    // 57 skin controls and the template's Exit button.
    EXPECT_EQ(CountChildren(hwnd), 58);

    dialog->LoadSkin();
    ExpectTableOrder(*dialog);
    EXPECT_EQ(CountChildren(hwnd), 58);
    EXPECT_TRUE(RecordedBoxes().empty());
}

TEST_F(SkinDialogTest, TemplateIsAnAppWindowPopupWhoseExitButtonLiesOffTheSkin) {
    LONG_PTR style = ::GetWindowLongPtrA(hwnd, GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & WS_CAPTION);
    EXPECT_TRUE(::GetWindowLongPtrA(hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    HWND exitButton = ::GetDlgItem(hwnd, IDOK);
    ASSERT_NE(exitButton, nullptr);
    char text[16] = {};
    ::GetWindowTextA(exitButton, text, sizeof text);
    EXPECT_STREQ(text, "Exit");
    RECT r;
    ::GetWindowRect(exitButton, &r);
    ::MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_GE(r.left, 299);  // beyond the right edge of the skinned window
}

TEST_F(SkinDialogTest, ResetVisibilityShowsButtonsAndLabelsAndHidesSliders) {
    dialog->ShowButton("BTN_P_96K", FALSE);
    dialog->ShowLabel("TXT_ASIOSTATE", FALSE);
    dialog->ShowSlider("SLDR_R_VOL_R", TRUE);
    dialog->ResetVisibility();
    for (int i = 0; i < dialog->Buttons().GetSize(); ++i) {
        EXPECT_TRUE(::IsWindowVisible(dialog->Buttons()[i]->m_hWnd)) << dialog->Buttons()[i]->m_name;
        EXPECT_EQ(dialog->Buttons()[i]->m_visible, 1);
    }
    for (int i = 0; i < dialog->Labels().GetSize(); ++i)
        EXPECT_TRUE(::IsWindowVisible(dialog->Labels()[i]->m_hWnd)) << dialog->Labels()[i]->m_name;
    for (int i = 0; i < dialog->Sliders().GetSize(); ++i)
        EXPECT_FALSE(::IsWindowVisible(dialog->Sliders()[i]->m_hWnd)) << dialog->Sliders()[i]->m_name;
}

TEST_F(SkinDialogTest, NameOperationsChangeOnlyTheNamedControl) {
    dialog->ShowButton("BTN_ASIO_BFSZ_3MS", FALSE);
    EXPECT_FALSE(::IsWindowVisible(dialog->FindButton("BTN_ASIO_BFSZ_3MS")->m_hWnd));
    EXPECT_EQ(dialog->FindButton("BTN_ASIO_BFSZ_3MS")->m_visible, 0);
    EXPECT_TRUE(::IsWindowVisible(dialog->FindButton("BTN_ASIO_BFSZ_5MS")->m_hWnd));

    dialog->EnableButton("BTN_P_16B", FALSE);
    EXPECT_FALSE(::IsWindowEnabled(dialog->FindButton("BTN_P_16B")->m_hWnd));

    dialog->SetButtonCheck("BTN_R_48K", TRUE);
    EXPECT_EQ(dialog->GetButtonCheck("BTN_R_48K"), 1);
    EXPECT_EQ(dialog->GetButtonCheck("BTN_P_48K"), 0);
    dialog->SetButtonCheck("BTN_R_48K", FALSE);
    EXPECT_EQ(dialog->GetButtonCheck("BTN_R_48K"), 0);

    dialog->SetLabelText("TXT_ASIOSTATE", "RUNNING");
    EXPECT_EQ(dialog->FindLabel("TXT_ASIOSTATE")->m_text, "RUNNING");
    char text[64] = {};
    ::GetWindowTextA(dialog->FindLabel("TXT_ASIOSTATE")->m_hWnd, text, sizeof text);
    EXPECT_STREQ(text, "RUNNING");

    dialog->ShowLabel("TXT_CPL_LOAD", FALSE);
    EXPECT_FALSE(::IsWindowVisible(dialog->FindLabel("TXT_CPL_LOAD")->m_hWnd));
}

TEST_F(SkinDialogTest, UnknownNamesDoNothingAndGettersReturnZero) {
    dialog->SetSliderPos("SLDR_P_VOL_L", 20);
    dialog->SetButtonCheck("BTN_P_44K", TRUE);
    for (const char* name : {"BTN_NOPE", "btn_p_44k", "BTN_P_44K ", "", "SLDR_P_VOL", "BTN_ASIO_RESET"}) {
        dialog->ShowButton(name, FALSE);
        dialog->EnableButton(name, FALSE);
        dialog->SetButtonCheck(name, FALSE);
        dialog->ShowSlider(name, TRUE);
        dialog->SetSliderPos(name, 90);
        dialog->ShowLabel(name, FALSE);
        dialog->SetLabelText(name, "changed");
        EXPECT_EQ(dialog->GetButtonCheck(name), 0) << name;
        EXPECT_EQ(dialog->GetSliderPos(name), 0) << name;
    }
    dialog->ShowButton(nullptr, FALSE);
    EXPECT_EQ(dialog->GetSliderPos(nullptr), 0);
    for (int i = 0; i < 43; ++i) {
        EXPECT_TRUE(::IsWindowVisible(dialog->Buttons()[i]->m_hWnd));
        EXPECT_TRUE(::IsWindowEnabled(dialog->Buttons()[i]->m_hWnd));
    }
    for (int i = 0; i < 10; ++i) EXPECT_NE(dialog->Labels()[i]->m_text, "changed");
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(::IsWindowVisible(dialog->Sliders()[i]->m_hWnd));
    EXPECT_EQ(dialog->GetSliderPos("SLDR_P_VOL_L"), 20);
    EXPECT_EQ(dialog->GetButtonCheck("BTN_P_44K"), 1);
}

TEST_F(SkinDialogTest, SliderValuesAreTheTrackbarTurnedRound) {
    EXPECT_EQ(dialog->GetSliderPos("SLDR_P_VOL_L"), 50);  // the table's raw position
    dialog->SetSliderPos("SLDR_P_VOL_L", 30);
    HWND tb = dialog->FindSlider("SLDR_P_VOL_L")->m_hWnd;
    EXPECT_EQ(::SendMessageA(tb, TBM_GETPOS, 0, 0), 70);
    EXPECT_EQ(dialog->GetSliderPos("SLDR_P_VOL_L"), 30);
    EXPECT_EQ(dialog->GetSliderPos("SLDR_P_VOL_R"), 50);
    dialog->SetSliderPos("SLDR_R_VOL_R", 100);
    EXPECT_EQ(::SendMessageA(dialog->FindSlider("SLDR_R_VOL_R")->m_hWnd, TBM_GETPOS, 0, 0), 0);
}

// A section holds the window only as its skin surface: each operation
// through it must reach the named element's own window, and the getters
// read back what the window shows.
TEST_F(SkinDialogTest, SurfaceOperationsReachTheNamedElementsWindow) {
    skin::SkinSurface& surface = *dialog;
    const auto text = [&](const char* name) {
        char buffer[64] = {};
        ::GetWindowTextA(dialog->FindLabel(name)->m_hWnd, buffer, sizeof buffer);
        return std::string(buffer);
    };
    const auto trackbar = [&](const char* name) {
        return ::SendMessageA(dialog->FindSlider(name)->m_hWnd, TBM_GETPOS, 0, 0);
    };
    struct Row {
        const char* what;
        std::function<void()> act;
        std::function<bool()> done;
    };
    const Row rows[] = {
        {"hide a button", [&] { surface.ShowButton("BTN_P_96K", FALSE); },
         [&] { return !::IsWindowVisible(dialog->FindButton("BTN_P_96K")->m_hWnd); }},
        {"disable a button", [&] { surface.EnableButton("BTN_RMCT_START_SVR", FALSE); },
         [&] { return !::IsWindowEnabled(dialog->FindButton("BTN_RMCT_START_SVR")->m_hWnd); }},
        {"latch a button", [&] { surface.SetButtonCheck("BTN_ASIO_24B", TRUE); },
         [&] {
             return dialog->FindButton("BTN_ASIO_24B")->m_latched == 1 &&
                    surface.GetButtonCheck("BTN_ASIO_24B") == 1;
         }},
        {"show a slider", [&] { surface.ShowSlider("SLDR_R_VOL_L", TRUE); },
         [&] { return ::IsWindowVisible(dialog->FindSlider("SLDR_R_VOL_L")->m_hWnd) != FALSE; }},
        {"move a slider", [&] { surface.SetSliderPos("SLDR_P_VOL_R", 25); },
         [&] {
             return trackbar("SLDR_P_VOL_R") == 75 && surface.GetSliderPos("SLDR_P_VOL_R") == 25;
         }},
        {"hide a label", [&] { surface.ShowLabel("TXT_LOCAL_IP", FALSE); },
         [&] { return !::IsWindowVisible(dialog->FindLabel("TXT_LOCAL_IP")->m_hWnd); }},
        {"write a label", [&] { surface.SetLabelText("TXT_REMOTE_IP", "10.0.0.2"); },
         [&] { return text("TXT_REMOTE_IP") == "10.0.0.2"; }},
    };
    for (const Row& row : rows) {
        ASSERT_FALSE(row.done()) << row.what << ": already so before the call";
        row.act();
        EXPECT_TRUE(row.done()) << row.what;
    }
}

TEST_F(SkinDialogTest, WindowRegionIsTheMaskPixelForPixel) {
    ResourceImage mask;
    ASSERT_TRUE(mask.Load(SKIN_IMG_MASK));
    HRGN rgn = ::CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(::GetWindowRgn(hwnd, rgn), ERROR);
    int inside = 0, wrong = 0;
    for (int y = 0; y < mask.height; ++y) {
        for (int x = 0; x < mask.width; ++x) {
            bool want = mask.Pixel(x, y) != RGB(255, 255, 255);
            bool got = ::PtInRegion(rgn, x, y) != 0;
            inside += got;
            if (want != got && wrong++ < 5) ADD_FAILURE() << "pixel " << x << "," << y << " mask " << want;
        }
    }
    EXPECT_FALSE(::PtInRegion(rgn, 0, 0));
    EXPECT_TRUE(::PtInRegion(rgn, 14, 0));
    ::DeleteObject(rgn);
    EXPECT_EQ(wrong, 0);
    // The corners are cut, the rest is in.
    EXPECT_LT(inside, 299 * 640);
    EXPECT_GT(inside, 299 * 640 - 4 * 14 * 14);
}

TEST_F(SkinDialogTest, RegionErrorsAreReportedAndTheSkinStillLoads) {
    skin::SetSkinRegionFromMask([](HBITMAP) -> HRGN { return nullptr; });
    dialog->LoadSkin();
    ASSERT_EQ(RecordedBoxes().size(), 1u);
    EXPECT_EQ(RecordedBoxes()[0].text, "Wrong Region?");
    EXPECT_EQ(RecordedBoxes()[0].caption, "Tarvo-X ASIO CPL");
    EXPECT_EQ(dialog->Buttons().GetSize(), 43);

    skin::SetSkinRegionFromMask(nullptr);
    skin::SetSkinSetWindowRgn([](HWND, HRGN, BOOL) { return 0; });
    dialog->LoadSkin();
    ASSERT_EQ(RecordedBoxes().size(), 2u);
    EXPECT_EQ(RecordedBoxes()[1].text, "Wrong Window Region?");
    EXPECT_EQ(dialog->Labels().GetSize(), 10);
}

}  // namespace skintest

namespace skintest {
namespace {

TEST_F(SkinDialogTest, LabelsThatFitStandStillAndLongOnesMove) {
    skin::CSkinLabel* ip = dialog->FindLabel("TXT_LOCAL_IP");
    EXPECT_EQ(ip->m_scrolling, 0);  // "Not Available" fits its 90 pixels
    EXPECT_GE(ip->m_capacity, 13);

    skin::CSkinLabel* device = dialog->FindLabel("TXT_ASIODEVICE");
    dialog->SetLabelText("TXT_ASIODEVICE", "Veltrano-HD USB Audio 2.0 Device (Rear Panel)");
    EXPECT_EQ(device->m_scrolling, 1);
    EXPECT_GT(device->m_capacity, 5);
    EXPECT_LT(device->m_capacity, 46);
    EXPECT_EQ(device->m_scrollPos, 0);
    ASSERT_TRUE(PumpUntil([&] { return device->m_scrollPos >= 2; }, 3000));

    dialog->SetLabelText("TXT_ASIODEVICE", "Veltrano-HD");
    EXPECT_EQ(device->m_scrollPos, 0);
    EXPECT_EQ(device->m_scrolling, 0);
    Pump(2 * static_cast<int>(skin::CAnimatedLabel::kScrollIntervalMs));
    EXPECT_EQ(device->m_scrollPos, 0);
}

TEST(LabelText, TooLongTextsRepeatWithStarsUntilTheyFillTheLabel) {
    using skin::CAnimatedLabel;
    EXPECT_EQ(CAnimatedLabel::ShownText("PCM", 0, 10), "PCM");
    EXPECT_EQ(CAnimatedLabel::ShownText("abcdef", 0, 4), "abcdef");
    EXPECT_EQ(CAnimatedLabel::ShownText("abcdef", 4, 4), "ef ** abcdef");
    EXPECT_EQ(CAnimatedLabel::ShownText("abcdef", 6, 4), " ** abcdef");
    EXPECT_EQ(CAnimatedLabel::ShownText("abcdef", 7, 4), " ** abcdef");
    EXPECT_EQ(CAnimatedLabel::ShownText("abcdef", 5, 12), "f");  // fits: no repeat
    EXPECT_EQ(CAnimatedLabel::ShownText("abcdefghij", 9, 8), "j ** abcdefghij");
    EXPECT_EQ(CAnimatedLabel::ShownText("", 3, 0), "");
}

}  // namespace
}  // namespace skintest

namespace skintest {
namespace {

// The main dialog runs modally: the skin loads inside the system's modal
// loop and IDOK ends it with its id.
class ModalSkinDialog : public TestSkinDialog {
public:
    BOOL OnInitDialog() override {
        BOOL r = TestSkinDialog::OnInitDialog();
        buttonsAtInit = Buttons().GetSize();
        ::PostMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return r;
    }
    int buttonsAtInit = 0;
};

TEST(SkinDialogModal, DoModalLoadsTheSkinAndReturnsTheEndResult) {
    skin::SetSkinMessageBox(&RecordBox);
    RecordedBoxes().clear();
    ModalSkinDialog dialog;
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.buttonsAtInit, 43);
    EXPECT_EQ(dialog.m_hWnd, nullptr);
    EXPECT_TRUE(RecordedBoxes().empty());
    skin::SetSkinMessageBox(nullptr);
}

}  // namespace
}  // namespace skintest


namespace skintest {
namespace {

// A bitmap whose pixel (x, y) is black when ink(x, y), else white.
template <class Ink>
HBITMAP MakeMask(int w, int h, Ink ink) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bm = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bm) return nullptr;
    auto* px = static_cast<uint32_t*>(bits);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) px[y * w + x] = ink(x, y) ? 0x000000u : 0xFFFFFFu;
    return bm;
}

TEST(SkinRegion, CheckerboardOfManyBatchesIsExactUnderTheSystem) {
    const int w = 120, h = 100;  // 6000 runs: three batches combined
    auto ink = [](int x, int y) { return (x + y) % 2 == 1 || (y > 80 && x < 30); };
    HBITMAP mask = MakeMask(w, h, ink);
    ASSERT_NE(mask, nullptr);
    HRGN rgn = skin::RegionFromMask(mask);
    ASSERT_NE(rgn, nullptr);
    int wrong = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) wrong += (::PtInRegion(rgn, x, y) != 0) != ink(x, y);
    EXPECT_EQ(wrong, 0);
    EXPECT_FALSE(::PtInRegion(rgn, w, 1));
    ::DeleteObject(rgn);
    ::DeleteObject(mask);
}

TEST(SkinRegion, NoRegionFromNothingOrAllWhite) {
    EXPECT_EQ(skin::RegionFromMask(nullptr), nullptr);
    HBITMAP white = MakeMask(40, 30, [](int, int) { return false; });
    ASSERT_NE(white, nullptr);
    EXPECT_EQ(skin::RegionFromMask(white), nullptr);
    ::DeleteObject(white);
}

}  // namespace
}  // namespace skintest
