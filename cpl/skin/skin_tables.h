#pragma once
// The three layout tables of the skinned main window. Pure data: no Windows
// types, so the host build and the artwork generator's checks can use them.

#include <cstddef>
#include <cstdint>

namespace skin {

constexpr size_t kSkinNameMax = 64;  // names, captions, faces, texts: up to 63 characters

struct SkinButtonRow {
    const char* name;      // element name, e.g. "BTN_P_96K"
    uint32_t mask;         // bit 0: shown by ResetVisibility
    int x, y, width, height;
    const char* caption;   // tooltip text (the window text stays empty)
    int latching;          // 1: look follows the latched state; 0: push button
};

struct SkinLabelRow {
    const char* name;      // e.g. "TXT_ASIOSTATE"
    uint32_t mask;
    const char* face;      // font face name
    int bold;              // 1: weight 700, 0: weight 400
    int upright;           // 0: italic
    int size;              // lfHeight (negative: character height in pixels)
    uint32_t colour;       // COLORREF 0x00BBGGRR
    int x, y, width, height;
    const char* text;      // initial text
};

struct SkinSliderRow {
    const char* name;      // e.g. "SLDR_P_VOL_L"
    uint32_t mask;
    unsigned thumbNormal, thumbActive, thumbDisabled;  // bitmap resource ids
    int x, y, width, height;
    int horizontal;        // 0: the trackbar gets TBS_VERT
    int position;          // initial raw trackbar position
};

constexpr size_t kSkinButtonCount = 43;
constexpr size_t kSkinLabelCount = 10;
constexpr size_t kSkinSliderCount = 4;

extern const SkinButtonRow SkinButtonDef[kSkinButtonCount];
extern const SkinLabelRow SkinLabelDef[kSkinLabelCount];
extern const SkinSliderRow SkinSliderDef[kSkinSliderCount];

// Index of the lowest set bit of a layout mask, 0 for an empty mask: the
// number of window heights a button or slider is moved down.
int LayoutShift(uint32_t mask);

}  // namespace skin
