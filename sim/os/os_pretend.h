#pragma once
// The Windows a `_sim` program or a test pretends to run on. Without a
// pretence the real answers pass through. A program started as a separate
// process takes its pretence from the environment variable VELTRANO_SIM_OS,
// read at the first question: "major.minor.build[.productType[.architecture]]"
// (product type 1 workstation, 3 server; architecture 0 x86, 6 Itanium,
// 9 x64; defaults 1 and 9), or "9x" for a system that is not NT.

#include <string_view>

#include "common/os_kind.h"

namespace sim {

void PretendOs(const veltrano::OsVersionFacts& facts);
void StopPretendingOs();

// Parses the environment variable's text; false on anything malformed.
bool ParseOsPretence(std::string_view text, veltrano::OsVersionFacts* facts);

// The pretence in force, if any (from PretendOs or the environment).
bool CurrentOsPretence(veltrano::OsVersionFacts* facts);

}  // namespace sim
