#pragma once
// The ASIO drivers registered on the machine, as hosts enumerate them.

#include <windows.h>

#include <string>
#include <vector>

namespace veltrano::probe {

struct AsioDriverEntry {
    std::string name;  // the key name under HKLM Software\ASIO
    std::string clsidText;
    CLSID clsid{};
    bool clsidValid = false;
    std::string description;  // empty when the driver writes none
};

std::vector<AsioDriverEntry> ListAsioDrivers();

}  // namespace veltrano::probe
