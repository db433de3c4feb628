#include "skin/skin_fixture.h"

#include <cstdlib>

namespace skintest {

bool ResourceImage::Load(UINT id) {
    HRSRC res = ::FindResourceA(nullptr, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(2));  // RT_BITMAP
    if (!res) return false;
    HGLOBAL handle = ::LoadResource(nullptr, res);
    const auto* header = static_cast<const BITMAPINFOHEADER*>(::LockResource(handle));
    if (!header || ::SizeofResource(nullptr, res) < sizeof(BITMAPINFOHEADER)) return false;
    width = header->biWidth;
    height = header->biHeight < 0 ? -header->biHeight : header->biHeight;
    bitsPerPixel = header->biBitCount;
    m_bottomUp = header->biHeight > 0;
    size_t offset = header->biSize;
    if (header->biCompression == BI_BITFIELDS) offset += 12;
    if (bitsPerPixel <= 8) offset += sizeof(RGBQUAD) * (header->biClrUsed ? header->biClrUsed : (1u << bitsPerPixel));
    m_bits = reinterpret_cast<const uint8_t*>(header) + offset;
    m_stride = ((static_cast<size_t>(width) * static_cast<size_t>(bitsPerPixel) + 31) / 32) * 4;
    return bitsPerPixel == 24 || bitsPerPixel == 32;
}

COLORREF ResourceImage::Pixel(int x, int y) const {
    size_t row = m_bottomUp ? static_cast<size_t>(height - 1 - y) : static_cast<size_t>(y);
    const uint8_t* p = m_bits + row * m_stride + static_cast<size_t>(x) * static_cast<size_t>(bitsPerPixel / 8);
    return RGB(p[2], p[1], p[0]);
}

void Pump(int ms) {
    PumpUntil([] { return false; }, ms);
}

bool PumpUntil(const std::function<bool()>& pred, int timeoutMs) {
    DWORD start = ::GetTickCount();
    for (;;) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        if (pred()) return true;
        if (static_cast<int>(::GetTickCount() - start) >= timeoutMs) return pred();
        ::Sleep(5);
    }
}

namespace {

void SendMouse(DWORD flags, int x, int y) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    if (flags & MOUSEEVENTF_MOVE) {
        int w = ::GetSystemMetrics(SM_CXSCREEN), h = ::GetSystemMetrics(SM_CYSCREEN);
        in.mi.dx = static_cast<LONG>((x * 65535LL + (w - 1) / 2) / (w - 1));
        in.mi.dy = static_cast<LONG>((y * 65535LL + (h - 1) / 2) / (h - 1));
        flags |= MOUSEEVENTF_ABSOLUTE;
    }
    in.mi.dwFlags = flags;
    ::SendInput(1, &in, sizeof in);
}

}  // namespace

void MouseMove(int x, int y) {
    SendMouse(MOUSEEVENTF_MOVE, x, y);
    // Wait until the system has the cursor there, so the next press lands.
    PumpUntil(
        [&] {
            POINT p;
            return ::GetCursorPos(&p) && p.x == x && p.y == y;
        },
        1000);
    Pump(20);
}

void MouseDown() {
    SendMouse(MOUSEEVENTF_LEFTDOWN, 0, 0);
    Pump(40);
}

void MouseUp() {
    SendMouse(MOUSEEVENTF_LEFTUP, 0, 0);
    Pump(40);
}

void ClickAt(int x, int y) {
    MouseMove(x, y);
    MouseDown();
    MouseUp();
}

POINT ToScreen(HWND hwnd, int x, int y) {
    POINT p{x, y};
    ::ClientToScreen(hwnd, &p);
    return p;
}

std::vector<COLORREF> CaptureClient(HWND hwnd, int width, int height) {
    std::vector<COLORREF> out(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    HDC windowDC = ::GetDC(hwnd);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP dib = ::CreateDIBSection(windowDC, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC mem = ::CreateCompatibleDC(windowDC);
    if (dib && mem && bits) {
        HGDIOBJ old = ::SelectObject(mem, dib);
        ::BitBlt(mem, 0, 0, width, height, windowDC, 0, 0, SRCCOPY);
        ::GdiFlush();
        const auto* px = static_cast<const uint8_t*>(bits);
        for (size_t i = 0; i < out.size(); ++i) out[i] = RGB(px[i * 4 + 2], px[i * 4 + 1], px[i * 4]);
        ::SelectObject(mem, old);
    }
    if (mem) ::DeleteDC(mem);
    if (dib) ::DeleteObject(dib);
    ::ReleaseDC(hwnd, windowDC);
    return out;
}

double MatchShare(const std::vector<COLORREF>& capture, int captureWidth, const ResourceImage& image,
                  const RECT& rect) {
    int same = 0, total = 0;
    for (int y = rect.top; y < rect.bottom; ++y) {
        for (int x = rect.left; x < rect.right; ++x) {
            COLORREF a = capture[static_cast<size_t>(y) * static_cast<size_t>(captureWidth) + static_cast<size_t>(x)];
            COLORREF b = image.Pixel(x, y);
            ++total;
            if (std::abs(GetRValue(a) - GetRValue(b)) <= 2 && std::abs(GetGValue(a) - GetGValue(b)) <= 2 &&
                std::abs(GetBValue(a) - GetBValue(b)) <= 2) {
                ++same;
            }
        }
    }
    return total ? static_cast<double>(same) / total : 0.0;
}

}  // namespace skintest
