#pragma once
// How a driver finds the control panel and asks it to show itself: the
// panel's window title, its program's file name, and the two status-block
// fields that carry the request. Platform-free, so the panel's pure tables
// can name the title too.

#include <cstdint>

namespace veltrano {

inline constexpr char kControlPanelTitle[] = "Veltrano-HD Audio Control Panel";
inline constexpr char kControlPanelProgram[] = "VeltranoHDACPLUI.exe";

// The two status-block fields a request to show the panel writes. Both null
// when the block is absent or its magic is wrong; the caller decides that.
struct PanelRequestFields {
    volatile uint32_t* changed = nullptr;
    volatile uint32_t* showPanelRequest = nullptr;
};

}  // namespace veltrano
