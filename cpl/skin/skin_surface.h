#pragma once
// The skin elements of a window, addressed by element name: what a section
// of the control panel may change or read in the window that shows it. A
// name that matches no element does nothing, and the getters return 0.

#include <windows.h>

namespace skin {

class SkinSurface {
public:
    virtual void ShowButton(const char* name, BOOL visible) = 0;
    virtual void EnableButton(const char* name, BOOL enabled) = 0;
    virtual void SetButtonCheck(const char* name, BOOL latched) = 0;
    virtual int GetButtonCheck(const char* name) const = 0;
    virtual void ShowSlider(const char* name, BOOL visible) = 0;
    // The value is 100 less the trackbar's position.
    virtual void SetSliderPos(const char* name, int value) = 0;
    virtual int GetSliderPos(const char* name) const = 0;
    virtual void ShowLabel(const char* name, BOOL visible) = 0;
    virtual void SetLabelText(const char* name, const char* text) = 0;

protected:
    ~SkinSurface() = default;
};

}  // namespace skin
