#include "sim/os/os_pretend.h"

#include <windows.h>

#include <atomic>
#include <charconv>
#include <mutex>

namespace sim {
namespace {

std::mutex g_lock;
bool g_envRead = false;
bool g_active = false;
veltrano::OsVersionFacts g_facts;

bool ReadNumber(std::string_view* text, uint32_t* value) {
    const char* begin = text->data();
    const char* end = begin + text->size();
    auto [next, ec] = std::from_chars(begin, end, *value);
    if (ec != std::errc() || next == begin) return false;
    text->remove_prefix(static_cast<size_t>(next - begin));
    return true;
}

bool ReadDot(std::string_view* text) {
    if (text->empty() || text->front() != '.') return false;
    text->remove_prefix(1);
    return true;
}

void ReadEnvironmentOnce() {
    if (g_envRead) return;
    g_envRead = true;
    char value[64];
    DWORD n = ::GetEnvironmentVariableA("VELTRANO_SIM_OS", value, sizeof(value));
    if (n == 0 || n >= sizeof(value)) return;
    veltrano::OsVersionFacts facts;
    if (ParseOsPretence(std::string_view(value, n), &facts)) {
        g_facts = facts;
        g_active = true;
    } else {
        ::OutputDebugStringA("veltrano sim: VELTRANO_SIM_OS is malformed and ignored\n");
    }
}

}  // namespace

bool ParseOsPretence(std::string_view text, veltrano::OsVersionFacts* facts) {
    veltrano::OsVersionFacts f;
    f.processorArchitecture = 9;
    if (text == "9x") {
        f.platformId = 1;
        f.major = 4;
        f.minor = 10;
        f.build = 2222;
        *facts = f;
        return true;
    }
    uint32_t type = 1, arch = 9;
    if (!ReadNumber(&text, &f.major) || !ReadDot(&text) || !ReadNumber(&text, &f.minor) ||
        !ReadDot(&text) || !ReadNumber(&text, &f.build)) {
        return false;
    }
    if (!text.empty() && (!ReadDot(&text) || !ReadNumber(&text, &type))) return false;
    if (!text.empty() && (!ReadDot(&text) || !ReadNumber(&text, &arch))) return false;
    if (!text.empty() || type > 3 || arch > 0xFFFF) return false;
    f.productType = static_cast<uint8_t>(type);
    f.processorArchitecture = static_cast<uint16_t>(arch);
    *facts = f;
    return true;
}

void PretendOs(const veltrano::OsVersionFacts& facts) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_envRead = true;
    g_facts = facts;
    g_active = true;
}

void StopPretendingOs() {
    std::lock_guard<std::mutex> hold(g_lock);
    g_envRead = true;
    g_active = false;
}

bool CurrentOsPretence(veltrano::OsVersionFacts* facts) {
    std::lock_guard<std::mutex> hold(g_lock);
    ReadEnvironmentOnce();
    if (g_active && facts != nullptr) *facts = g_facts;
    return g_active;
}

}  // namespace sim
