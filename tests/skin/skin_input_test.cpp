// Real mouse input on the skin dialog, and what its controls paint.

#include <algorithm>
#include <thread>

#include "cpl/skin/skin_tables.h"
#include "skin/skin_dialog_fixture.h"

namespace skintest {
namespace {

RECT ButtonRect(const char* name) {
    for (const auto& row : skin::SkinButtonDef)
        if (std::string(row.name) == name) return RECT{row.x, row.y, row.x + row.width, row.y + row.height};
    return RECT{};
}

TEST_F(SkinDialogTest, ClicksReachTheHookWithTheElementName) {
    for (const char* name : {"BTN_P_96K", "BTN_HIDE", "BTN_ASIO_BFSZ_100MS", "BTN_RMCT_START_SVR"}) {
        POINT p = Centre(dialog->FindButton(name)->m_hWnd);
        ClickAt(p.x, p.y);
        ASSERT_TRUE(PumpUntil([&] { return !dialog->clicks.empty(); }, 2000)) << name;
        EXPECT_EQ(dialog->clicks, std::vector<std::string>{name});
        dialog->clicks.clear();
    }
}

TEST_F(SkinDialogTest, PressReleasedOutsideTheButtonReportsNothing) {
    POINT p = Centre(dialog->FindButton("BTN_P_24B")->m_hWnd);
    MouseMove(p.x, p.y);
    MouseDown();
    MouseMove(p.x, p.y + 40);  // onto the background below
    MouseUp();
    Pump(200);
    EXPECT_TRUE(dialog->clicks.empty()) << (dialog->clicks.empty() ? "" : dialog->clicks[0]);
    // The button is not left held or highlighted.
    EXPECT_EQ(dialog->FindButton("BTN_P_24B")->m_highlighted, 0);
    EXPECT_NE(::GetCapture(), dialog->FindButton("BTN_P_24B")->m_hWnd);
}

TEST_F(SkinDialogTest, MovingOntoANeighbourMovesTheHighlight) {
    skin::CSkinButton* a = dialog->FindButton("BTN_P_32K");
    skin::CSkinButton* b = dialog->FindButton("BTN_P_44K");
    POINT pa = Centre(a->m_hWnd), pb = Centre(b->m_hWnd);
    MouseMove(pa.x, pa.y);
    ASSERT_TRUE(PumpUntil([&] { return a->m_highlighted == 1; }, 1000));
    MouseMove(pb.x, pb.y);
    ASSERT_TRUE(PumpUntil([&] { return b->m_highlighted == 1; }, 1000));
    EXPECT_EQ(a->m_highlighted, 0);
    EXPECT_EQ(::GetCapture(), b->m_hWnd);
}

TEST_F(SkinDialogTest, DraggingASliderReportsRisingPositionsThenOneEnd) {
    const char* name = "SLDR_P_VOL_L";
    dialog->ShowSlider(name, TRUE);
    dialog->SetSliderPos(name, 100);  // trackbar at its left end
    Pump(100);
    skin::CSkinSlider* s = dialog->FindSlider(name);
    RECT thumb = s->ThumbRect();
    RECT client;
    s->GetClientRect(&client);
    POINT start = ToScreen(s->m_hWnd, (thumb.left + thumb.right) / 2, (thumb.top + thumb.bottom) / 2);
    POINT end = ToScreen(s->m_hWnd, client.right + 10, (thumb.top + thumb.bottom) / 2);
    MouseMove(start.x, start.y);
    MouseDown();
    EXPECT_EQ(s->m_grabbed, 1);
    for (int x = start.x + 8; x < end.x; x += 8) MouseMove(x, start.y);
    MouseMove(end.x, end.y);
    MouseUp();
    ASSERT_TRUE(PumpUntil([&] { return !dialog->slides.empty() && dialog->slides.back().code == 8; }, 2000));

    const auto& r = dialog->slides;
    ASSERT_GE(r.size(), 5u);
    for (size_t i = 0; i + 1 < r.size(); ++i) {
        EXPECT_EQ(r[i].name, name);
        EXPECT_EQ(r[i].code, 4) << "report " << i;
        if (i > 0) {
            EXPECT_LE(r[i].value, r[i - 1].value) << "report " << i;  // values fall as positions rise
        }
    }
    EXPECT_EQ(r.back().code, 8);
    EXPECT_EQ(r.back().value, 0);
    EXPECT_GT(r.front().value, 80);
    EXPECT_EQ(dialog->GetSliderPos(name), 0);
    EXPECT_EQ(s->m_grabbed, 0);
    EXPECT_EQ(s->m_dragging, 0);
}

TEST_F(SkinDialogTest, ClickInTheChannelReportsTheNewPositionOnRelease) {
    const char* name = "SLDR_R_VOL_L";
    dialog->ShowSlider(name, TRUE);
    Pump(100);
    skin::CSkinSlider* s = dialog->FindSlider(name);
    RECT client;
    s->GetClientRect(&client);
    POINT p = ToScreen(s->m_hWnd, client.right - 10, 8);
    MouseMove(p.x, p.y);
    MouseDown();
    EXPECT_EQ(s->m_grabbed, 0);
    MouseUp();
    ASSERT_TRUE(PumpUntil([&] { return !dialog->slides.empty() && dialog->slides.back().code == 8; }, 2000));
    EXPECT_EQ(dialog->slides.back().value, dialog->GetSliderPos(name));
    EXPECT_LT(dialog->GetSliderPos(name), 50);  // moved right from the middle
}

TEST_F(SkinDialogTest, LatchedButtonsPaintPressedAndHiddenOnesTheBackground) {
    ResourceImage normal, pressed, background;
    ASSERT_TRUE(normal.Load(SKIN_IMG_NORMAL));
    ASSERT_TRUE(pressed.Load(SKIN_IMG_PRESSED));
    ASSERT_TRUE(background.Load(SKIN_IMG_BACKGROUND));
    MouseMove(5, 5);  // keep the mouse off the window: no highlight

    dialog->SetButtonCheck("BTN_P_96K", TRUE);
    dialog->SetButtonCheck("BTN_ASIO_24B", TRUE);
    dialog->ShowButton("BTN_R_192K", FALSE);
    Pump(200);
    std::vector<COLORREF> shot = CaptureClient(hwnd, 299, 640);
    EXPECT_GT(MatchShare(shot, 299, pressed, ButtonRect("BTN_P_96K")), 0.99);
    EXPECT_GT(MatchShare(shot, 299, pressed, ButtonRect("BTN_ASIO_24B")), 0.99);
    EXPECT_GT(MatchShare(shot, 299, background, ButtonRect("BTN_R_192K")), 0.99);
    EXPECT_GT(MatchShare(shot, 299, normal, ButtonRect("BTN_P_88K")), 0.99);
    EXPECT_LT(MatchShare(shot, 299, normal, ButtonRect("BTN_P_96K")), 0.9);

    // Latching again with the same value still repaints at once.
    dialog->SetButtonCheck("BTN_P_96K", FALSE);
    shot = CaptureClient(hwnd, 299, 640);
    EXPECT_GT(MatchShare(shot, 299, normal, ButtonRect("BTN_P_96K")), 0.99);
}

TEST_F(SkinDialogTest, ALatchedButtonStaysPressedUnderTheMouse) {
    ResourceImage pressed, highlight;
    ASSERT_TRUE(pressed.Load(SKIN_IMG_PRESSED));
    ASSERT_TRUE(highlight.Load(SKIN_IMG_HIGHLIGHT));
    dialog->SetButtonCheck("BTN_P_16B", TRUE);
    skin::CSkinButton* latched = dialog->FindButton("BTN_P_16B");
    POINT p = Centre(latched->m_hWnd);
    MouseMove(p.x, p.y);
    ASSERT_TRUE(PumpUntil([&] { return latched->m_highlighted == 1; }, 1000));
    Pump(100);
    std::vector<COLORREF> shot = CaptureClient(hwnd, 299, 640);
    EXPECT_GT(MatchShare(shot, 299, pressed, ButtonRect("BTN_P_16B")), 0.99);

    skin::CSkinButton* plain = dialog->FindButton("BTN_P_24B");
    p = Centre(plain->m_hWnd);
    MouseMove(p.x, p.y);
    ASSERT_TRUE(PumpUntil([&] { return plain->m_highlighted == 1; }, 1000));
    Pump(100);
    shot = CaptureClient(hwnd, 299, 640);
    EXPECT_GT(MatchShare(shot, 299, highlight, ButtonRect("BTN_P_24B")), 0.99);
    MouseMove(5, 5);
}

TEST_F(SkinDialogTest, APushButtonLooksPressedOnlyWhileHeld) {
    ResourceImage pressed, highlight, normal;
    ASSERT_TRUE(pressed.Load(SKIN_IMG_PRESSED));
    ASSERT_TRUE(highlight.Load(SKIN_IMG_HIGHLIGHT));
    ASSERT_TRUE(normal.Load(SKIN_IMG_NORMAL));
    skin::CSkinButton* hide = dialog->FindButton("BTN_HIDE");
    ASSERT_EQ(hide->m_latching, 0);
    RECT rect = ButtonRect("BTN_HIDE");
    POINT p = Centre(hide->m_hWnd);
    MouseMove(p.x, p.y);
    ASSERT_TRUE(PumpUntil([&] { return hide->m_highlighted == 1; }, 1000));
    MouseDown();
    Pump(100);
    EXPECT_GT(MatchShare(CaptureClient(hwnd, 299, 640), 299, pressed, rect), 0.99);
    MouseUp();
    ASSERT_TRUE(PumpUntil([&] { return !dialog->clicks.empty(); }, 2000));
    Pump(100);
    // Released: no longer pressed (the hover look, or the normal one until
    // the next mouse move).
    std::vector<COLORREF> shot = CaptureClient(hwnd, 299, 640);
    EXPECT_LT(MatchShare(shot, 299, pressed, rect), 0.5);
    EXPECT_GT(std::max(MatchShare(shot, 299, highlight, rect), MatchShare(shot, 299, normal, rect)), 0.99);
    MouseMove(5, 5);
}

}  // namespace
}  // namespace skintest

namespace skintest {
namespace {

TEST_F(SkinDialogTest, TheBackgroundDragsTheWindowAndReportsHover) {
    RECT before;
    ::GetWindowRect(hwnd, &before);
    // The badge between the sections: background, no control.
    POINT p{before.left + 150, before.top + 350};
    MouseMove(p.x, p.y);
    ASSERT_TRUE(PumpUntil([&] { return dialog->hovers > 0; }, 1000));
    EXPECT_EQ(dialog->hoverName, "");
    EXPECT_EQ(dialog->hoverPoint.x, 150);
    EXPECT_EQ(dialog->hoverPoint.y, 350);

    // The system moves the window in a modal loop on this thread, so the
    // rest of the drag comes from another one.
    std::thread hand([p] {
        ::Sleep(300);
        for (int i = 1; i <= 6; ++i) {
            SendMoveOnly(p.x + 5 * i, p.y + 4 * i);
            ::Sleep(60);
        }
        SendUpOnly();
    });
    MouseDown();
    RECT after{};
    EXPECT_TRUE(PumpUntil(
        [&] {
            ::GetWindowRect(hwnd, &after);
            return after.left == before.left + 30 && after.top == before.top + 24;
        },
        3000))
        << "window at " << after.left << "," << after.top;
    hand.join();
    EXPECT_TRUE(dialog->clicks.empty());
}

TEST_F(SkinDialogTest, HoverOverAControlCarriesItsName) {
    POINT p = Centre(dialog->FindButton("BTN_RMCT_NETWORK_SET")->m_hWnd);
    MouseMove(p.x, p.y);
    ASSERT_TRUE(PumpUntil([&] { return dialog->hoverName == "BTN_RMCT_NETWORK_SET"; }, 1000));
    EXPECT_EQ(dialog->hoverPoint.x, 49);  // client coordinates of the 98 x 16 button
    EXPECT_EQ(dialog->hoverPoint.y, 8);
    MouseMove(5, 5);
}

TEST_F(SkinDialogTest, CancelEndsAModelessDialog) {
    ::SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_EQ(dialog->m_hWnd, nullptr);
}

}  // namespace
}  // namespace skintest

namespace skintest {
namespace {

TEST(ButtonLook, LatchingAndPushButtonsPickTheirImagesInRuleOrder) {
    using L = skin::CBitmapBtn::Look;
    auto look = skin::CBitmapBtn::ChooseLook;  // latching, visible, latched, highlighted, pressed, disabled
    // Latching: hidden wins, then disabled, then latched even under the mouse.
    EXPECT_EQ(look(1, 0, 1, 1, true, true), L::Background);
    EXPECT_EQ(look(1, 1, 1, 1, false, true), L::Disabled);
    EXPECT_EQ(look(1, 1, 1, 1, false, false), L::Pressed);
    EXPECT_EQ(look(1, 1, 0, 1, true, false), L::Highlight);  // a held latching key shows the hover look
    EXPECT_EQ(look(1, 1, 0, 0, false, false), L::Normal);
    // Push: latched only away from the mouse, pressed while held.
    EXPECT_EQ(look(0, 1, 1, 0, false, false), L::Pressed);
    EXPECT_EQ(look(0, 1, 1, 1, false, false), L::Highlight);
    EXPECT_EQ(look(0, 1, 0, 1, true, false), L::Pressed);
    EXPECT_EQ(look(0, 1, 0, 0, false, true), L::Disabled);
    EXPECT_EQ(look(0, 1, 0, 0, false, false), L::Normal);
    EXPECT_EQ(look(0, 0, 0, 0, false, false), L::Background);
}

}  // namespace
}  // namespace skintest
