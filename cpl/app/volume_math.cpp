#include "cpl/app/volume_math.h"

#include <cmath>

namespace veltrano::cpl {

float DbFromSliderValue(float maximumDb, float minimumDb, int value) {
    return maximumDb - (maximumDb - minimumDb) * static_cast<float>(value) / 100.0f;
}

int SliderValueFromDb(float maximumDb, float minimumDb, float db) {
    const float span = maximumDb - minimumDb;
    // A device reporting an empty or broken range must not turn into a
    // division by zero or an out-of-range conversion.
    if (!(span > 0.0f) || !std::isfinite(span) || !std::isfinite(db)) return 0;
    const float scaled = (maximumDb - db) * 100.0f / span - 100.0f;
    if (scaled <= -100.0f) return 0;
    if (scaled >= 0.0f) return 100;
    return 100 + static_cast<int>(scaled);  // truncates toward zero
}

}  // namespace veltrano::cpl
