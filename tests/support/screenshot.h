#pragma once
// Screenshots for window tests: what is on the screen in a rectangle (what
// the user sees there, other windows included), saved as a PNG file.

#include <windows.h>

#include <string>

namespace veltrano::test {

// The screen pixels of the window's rectangle written to path as a PNG.
bool SaveWindowPng(HWND window, const std::string& path);
bool SaveScreenRectPng(const RECT& rect, const std::string& path);

// Where window tests put their screenshots: <build>/screenshots/<name>.png
// (the build folder is the one the test program lives in, two levels up).
std::string ScreenshotPath(const std::string& name);

}  // namespace veltrano::test
