// The device search path, hardware IDs and INF lines come from the registry
// and from files: no text may make the edits read or write outside it, and
// the edits must keep their promises for any input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "setup/setup_text.h"

using namespace veltrano::setup;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte splits the input into a registry value and a folder.
    const size_t split = data[0] % size;
    const std::string value(reinterpret_cast<const char*>(data) + 1, split > 0 ? split - 1 : 0);
    const std::string folder(reinterpret_cast<const char*>(data) + (split > 0 ? split : 1),
                             size - (split > 0 ? split : 1));

    const std::string added = DevicePathAdd(value, folder);
    // Adding twice changes nothing; what was there stays there.
    if (DevicePathAdd(added, folder) != added) std::abort();
    if (added.find(value) == std::string::npos) std::abort();
    if (auto removed = DevicePathRemove(added, folder)) {
        if (removed->size() > added.size()) std::abort();
        // Nothing naming the folder is left behind.
        if (DevicePathRemove(*removed, folder)) std::abort();
    }

    if (auto id = StripRevision(value)) {
        if (id->size() >= value.size()) std::abort();
    }
    if (auto joined = JoinPath(value, folder)) {
        if (joined->size() > kMaxPathLength) std::abort();
    }
    if (auto parameters = DeleteCommandParameters(value)) {
        // Exactly the two quotes it added.
        size_t quotes = 0;
        for (char c : *parameters) quotes += c == '"';
        if (quotes != 2 || parameters->find('%') != std::string::npos) std::abort();
    }
    HasUninstallSwitch(value);
    return 0;
}
