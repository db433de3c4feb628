#pragma once
// CPPageASIO: the ASIO section. Its only link to the driver is the shared
// status block: it shows the driver's state, device, format and buffer,
// hands back the bit-depth and buffer-size settings, and answers the
// driver's request to show the panel. It reaches the window only through
// its skin elements.

#include <windows.h>

#include "common/contract/status_block.h"
#include "cpl/skin/skin_surface.h"

namespace veltrano::cpl {

class CPPageASIO {
public:
    explicit CPPageASIO(skin::SkinSurface& skin) : m_skin(skin) {}
    // Writes the settings back to the user's store and unmaps the block.
    ~CPPageASIO();
    CPPageASIO(const CPPageASIO&) = delete;
    CPPageASIO& operator=(const CPPageASIO&) = delete;

    // Maps the block (creating and filling it from the store when no one
    // has), then refreshes. Returns 1.
    int Init();
    void Refresh();
    // After a click on a bit-depth button.
    void ApplyBitDepth();
    // Each poll tick: ID_CPL_SHOW_ASIO, ID_CPL_REFRESH_ASIO, or 0.
    UINT PendingCommand();

    bool HasBlock() const { return m_block.Present(); }
    StatusBlock& Block() { return m_block; }

private:
    void SaveSettings();

    skin::SkinSurface& m_skin;
    StatusBlock m_block;
};

}  // namespace veltrano::cpl
