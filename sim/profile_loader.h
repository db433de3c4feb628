#pragma once
// The `_sim` drivers' device: the virtual Veltrano-HD described by the INI
// profile named in VELTRANO_SIM_PROFILE, loaded at the first device
// discovery or open of the process (see profile_autoload.cpp).

#include "sim/config.h"
#include "sim/profile/sim_profile.h"

namespace sim {

// The device a profile describes: render and capture sink pins with their
// bridge pins, one data range per offered (width, rate) pair so that exactly
// the listed rates are accepted, the product ID in the device path, and the
// profile's faults.
Config ConfigFromProfile(const veltrano::sim::SimProfile& profile);

// Reads the profile (the full-featured default without the variable, or when
// the file cannot be read) and configures the sim with it. Problems go to the
// debugger output.
void LoadProfileFromEnvironment();

}  // namespace sim
