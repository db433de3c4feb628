#include "cpl/app/panel_tables.h"

#include <cstring>

namespace veltrano::cpl {

int IndexOfName(const char* const* names, int count, const char* name) {
    if (names == nullptr || name == nullptr) return -1;
    for (int i = 0; i < count; ++i) {
        if (names[i] != nullptr && std::strcmp(names[i], name) == 0) return i;
    }
    return -1;
}

int PanelRateIndex(uint32_t rate) {
    for (int i = 0; i < kPanelRateCount; ++i) {
        if (kPanelRates[i] == rate) return i;
    }
    return -1;
}

int PanelBitsIndex(uint32_t bits) {
    for (int i = 0; i < kPanelBitsCount; ++i) {
        if (kPanelBits[i] == bits) return i;
    }
    return -1;
}

}  // namespace veltrano::cpl
