#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "skin/skin_fixture.h"

namespace skintest {

// Region errors are recorded here instead of showing a box.
struct RecordedBox {
    std::string text;
    std::string caption;
};
std::vector<RecordedBox>& RecordedBoxes();
int RecordBox(HWND, const char* text, const char* caption, UINT);

class SkinDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        RecordedBoxes().clear();
        skin::SetSkinMessageBox(&RecordBox);
        dialog = std::make_unique<TestSkinDialog>();
        ASSERT_TRUE(dialog->Create()) << "no window: window tests need an X display (DISPLAY)";
        hwnd = dialog->m_hWnd;
        ::SetWindowPos(hwnd, HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        ::SetForegroundWindow(hwnd);
        Pump(150);
    }
    void TearDown() override {
        dialog.reset();
        Pump(20);
        skin::SetSkinMessageBox(nullptr);
        skin::SetSkinRegionFromMask(nullptr);
        skin::SetSkinSetWindowRgn(nullptr);
    }

    // Screen point at the centre of a control.
    POINT Centre(HWND control) const {
        RECT r;
        ::GetWindowRect(control, &r);
        return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }

    std::unique_ptr<TestSkinDialog> dialog;
    HWND hwnd = nullptr;
};

}  // namespace skintest
