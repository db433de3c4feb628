#pragma once
// Timestamps of the device's write completions, as the driver sees them.

#include <windows.h>

#include <vector>

namespace latency {

// Records completion k (in completion order) into (*completions)[k].
void StartRelay(std::vector<LARGE_INTEGER>* completions);
size_t RelayedCompletions();

}  // namespace latency
