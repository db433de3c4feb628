#pragma once
// The window-region half of the region builder: a region from a mask bitmap.

#include <windows.h>

namespace skin {

// Region of the non-white pixels of mask, or null when none could be made
// (no bitmap, no non-white pixel, or the system refused).
HRGN RegionFromMask(HBITMAP mask);

}  // namespace skin
