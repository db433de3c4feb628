#include "common/os_kind.h"

namespace veltrano {
namespace {

constexpr uint32_t kPlatformNt = 2;
constexpr uint8_t kWorkstation = 1;
constexpr uint16_t kArchIa64 = 6;
constexpr uint16_t kArchAmd64 = 9;

// Workstation and server kinds of the NT 6 and 10 releases.
int32_t KindOfNt6Or10(uint32_t major, uint32_t minor, bool workstation) {
    if (major == 6) {
        switch (minor) {
            case 0: return workstation ? 2 : 3;
            case 1: return workstation ? 4 : 5;
            case 2: return workstation ? 6 : 8;
            case 3: return workstation ? 7 : 9;
            default: return kOsUnknown;
        }
    }
    if (major == 10 && minor == 0) return workstation ? kOsWindows10 : kOsServer2016;
    return kOsUnknown;
}

int32_t KindOfNt5(uint32_t minor, bool workstation, uint16_t arch, OsTable table) {
    if (minor == 1) return 0;
    if (minor != 2) return kOsUnknown;
    if (workstation && arch == kArchAmd64) return 0;
    if (table == OsTable::ControlPanel) return 1;
    return workstation ? kOsUnknown : 1;
}

}  // namespace

bool ClassifyOs(const OsVersionFacts& facts, OsTable table, OsKind* kind) {
    if (kind == nullptr) return false;
    *kind = OsKind{};
    if (facts.platformId != kPlatformNt || facts.major < 5) return false;
    const bool workstation = facts.productType == kWorkstation;
    if (facts.major == 5) {
        // The architecture is not examined on NT 5: such systems count as 32-bit.
        kind->kind = KindOfNt5(facts.minor, workstation, facts.processorArchitecture, table);
        kind->platformFlag = 1;
    } else {
        kind->kind = KindOfNt6Or10(facts.major, facts.minor, workstation);
        const bool wide = facts.processorArchitecture == kArchAmd64 ||
                          facts.processorArchitecture == kArchIa64;
        kind->platformFlag = wide ? 0 : 1;
    }
    kind->build = facts.build;
    return true;
}

bool IsCoreAudioKind(int32_t kind) { return kind >= 2 && kind <= 11; }

bool IsWindows10Version1703OrLater(const OsKind& kind) {
    return (kind.kind == kOsWindows10 || kind.kind == kOsServer2016) &&
           kind.build >= kBuildWindows10Version1703;
}

}  // namespace veltrano
