#include "cpl/skin/skin_tables.h"

namespace skin {

const SkinButtonRow SkinButtonDef[kSkinButtonCount] = {
#define SKIN_BUTTON(name, mask, x, y, w, h, caption, latching) {name, mask, x, y, w, h, caption, latching},
#include "cpl/skin/skin_layout.inc"
#undef SKIN_BUTTON
};

const SkinLabelRow SkinLabelDef[kSkinLabelCount] = {
#define SKIN_LABEL(name, mask, face, bold, upright, size, colour, x, y, w, h, text) \
    {name, mask, face, bold, upright, size, colour, x, y, w, h, text},
#include "cpl/skin/skin_layout.inc"
#undef SKIN_LABEL
};

const SkinSliderRow SkinSliderDef[kSkinSliderCount] = {
#define SKIN_SLIDER(name, mask, tn, ta, td, x, y, w, h, horizontal, position) \
    {name, mask, tn, ta, td, x, y, w, h, horizontal, position},
#include "cpl/skin/skin_layout.inc"
#undef SKIN_SLIDER
};

int LayoutShift(uint32_t mask) {
    if (mask == 0) return 0;
    int k = 0;
    while ((mask & 1u) == 0) {
        mask >>= 1;
        ++k;
    }
    return k;
}

}  // namespace skin
