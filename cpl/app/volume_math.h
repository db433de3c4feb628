#pragma once
// The volume sliders report 0..100 with 0 at the loud end: 0 is the
// range's maximum dB and 100 its minimum.

namespace veltrano::cpl {

// dB = maximum - (maximum - minimum) * value / 100.
float DbFromSliderValue(float maximumDb, float minimumDb, int value);

// value = 100 + T((maximum - dB) * 100 / (maximum - minimum) - 100), T
// truncating toward zero. A range that is empty or not a number, or a dB
// that is not a number, gives 0; the result is kept within 0..100.
int SliderValueFromDb(float maximumDb, float minimumDb, float db);

}  // namespace veltrano::cpl
