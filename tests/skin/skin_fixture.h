#pragma once
// A skin dialog on the real template and images, created modeless on the
// test thread, plus helpers to feed it real input and read its pixels.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "cpl/skin/skin_dialog.h"

namespace skintest {

struct SliderReport {
    std::string name;
    int code;
    int value;
};

class TestSkinDialog : public skin::CSkinDialog {
public:
    BOOL OnInitDialog() override {
        BOOL r = CSkinDialog::OnInitDialog();
        ResetVisibility();
        return r;
    }
    void OnSkinButtonClicked(const char* name) override { clicks.emplace_back(name); }
    void OnSkinSliderChanged(const char* name, int code, int value) override {
        slides.push_back({name, code, value});
    }
    std::vector<std::string> clicks;
    std::vector<SliderReport> slides;
};

// One bitmap resource of the program, read straight from its file bytes.
struct ResourceImage {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    bool Load(UINT id);
    // Blue, green, red of pixel (x, y), top-down coordinates.
    COLORREF Pixel(int x, int y) const;

private:
    const uint8_t* m_bits = nullptr;
    size_t m_stride = 0;
    bool m_bottomUp = true;
};

// Dispatches messages until pred holds or timeoutMs passed; returns pred().
bool PumpUntil(const std::function<bool()>& pred, int timeoutMs);
void Pump(int ms);

// Real input at screen coordinates.
void MouseMove(int x, int y);
void MouseDown();
void MouseUp();
void ClickAt(int x, int y);

// The window's pixels as the screen shows them (0x00BBGGRR per pixel,
// top-down), client coordinates.
std::vector<COLORREF> CaptureClient(HWND hwnd, int width, int height);

// Screen point of client point (x, y) of hwnd.
POINT ToScreen(HWND hwnd, int x, int y);

// The share of pixels of rect (window coordinates) where the capture and
// the image agree within 2 per channel.
double MatchShare(const std::vector<COLORREF>& capture, int captureWidth, const ResourceImage& image,
                  const RECT& rect);

}  // namespace skintest
