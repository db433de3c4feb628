#pragma once
// Which Windows the program runs on, as the control panel and the
// co-installer need to know it: a kind code from the version, the product
// type and the processor architecture. Pure, so every Windows kind can be
// checked on any machine; the platform wrapper lives in platform/os_version.h.

#include <cstdint>

namespace veltrano {

// What Windows reports, reduced to the fields the classification reads.
struct OsVersionFacts {
    uint32_t platformId = 2;            // VER_PLATFORM_WIN32_NT
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t build = 0;
    uint8_t productType = 1;            // VER_NT_WORKSTATION; 2 domain controller, 3 server
    uint16_t processorArchitecture = 0; // PROCESSOR_ARCHITECTURE_INTEL 0, IA64 6, AMD64 9
};

// Kind codes:
//   0 XP (and XP x64)   1 Server 2003    2 Vista          3 Server 2008
//   4 7                 5 Server 2008 R2 6 8              7 8.1
//   8 Server 2012       9 Server 2012 R2 10 10            11 Server 2016
//   12 2000 and anything not listed
struct OsKind {
    int32_t kind = 12;
    int32_t platformFlag = 1;  // 1: 32-bit x86 system; 0: x64 or Itanium
    uint32_t build = 7601;
};

// The two programs disagree on one row: 5.2 workstation on Itanium is
// Server 2003 (1) to the control panel and unknown (12) to the co-installer,
// which only knows XP x64 as a 5.2 workstation.
enum class OsTable { ControlPanel, CoInstaller };

inline constexpr int32_t kOsWindows10 = 10;
inline constexpr int32_t kOsServer2016 = 11;
inline constexpr int32_t kOsUnknown = 12;
inline constexpr uint32_t kBuildWindows10Version1703 = 15063;

// Fills *kind. Before anything is read the record is reset to kind 12,
// platform flag 1, build 7601; a system that is not NT or older than
// major version 5 is a failure (false) and leaves that reset record.
bool ClassifyOs(const OsVersionFacts& facts, OsTable table, OsKind* kind);

// Kinds 2 to 11 have the core-audio interfaces.
bool IsCoreAudioKind(int32_t kind);

// Windows 10 version 1703 or later: kind 10 or 11 with build 15063 or above.
bool IsWindows10Version1703OrLater(const OsKind& kind);

}  // namespace veltrano
