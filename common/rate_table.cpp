#include "common/rate_table.h"

namespace veltrano {

int RateIndex(uint32_t rate) {
    for (int i = 0; i < kRateCount; ++i) {
        if (kRateTable[i] == rate) return i;
    }
    return -1;
}

uint32_t RateBit(uint32_t rate) {
    const int index = RateIndex(rate);
    return index < 0 ? 0u : (1u << index);
}

bool IsDsdRate(double rate) {
    return rate == static_cast<double>(kDsd64Rate) || rate == static_cast<double>(kDsd128Rate) ||
           rate == static_cast<double>(kDsd256Rate);
}

uint32_t DsdCarrierRate(double rate) {
    if (rate == static_cast<double>(kDsd64Rate)) return 88200;
    if (rate == static_cast<double>(kDsd128Rate)) return 176400;
    if (rate == static_cast<double>(kDsd256Rate)) return 352800;
    return 0;
}

}  // namespace veltrano
