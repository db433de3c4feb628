// Profiles are files a user edits: any bytes must parse without reading
// outside the text, and the result must stay within the documented ranges.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "sim/profile/sim_profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto r = veltrano::sim::ParseSimProfile(
        std::string_view(reinterpret_cast<const char*>(data), size));
    const auto& p = r.profile;
    if (p.channels < 1 || p.channels > 8 || p.captureChannels < 1 || p.captureChannels > 8 ||
        (p.widthMask & ~0xEu) != 0 || p.widthMask == 0 || p.rateMask == 0 ||
        (p.rateMask & ~0x1FFu) != 0 || p.hidReportLength > 255) {
        std::abort();
    }
    return 0;
}
