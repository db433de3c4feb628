#include "common/os_kind.h"

#include <gtest/gtest.h>

namespace veltrano {
namespace {

constexpr uint16_t kX86 = 0, kIa64 = 6, kAmd64 = 9;
constexpr uint8_t kWs = 1, kDc = 2, kSrv = 3;

struct Row {
    const char* name;
    OsVersionFacts facts;
    int32_t cplKind;
    int32_t setupKind;
    int32_t platformFlag;
};

OsVersionFacts Nt(uint32_t major, uint32_t minor, uint32_t build, uint8_t type, uint16_t arch) {
    OsVersionFacts f;
    f.major = major;
    f.minor = minor;
    f.build = build;
    f.productType = type;
    f.processorArchitecture = arch;
    return f;
}

const Row kRows[] = {
    {"XP", Nt(5, 1, 2600, kWs, kX86), 0, 0, 1},
    {"XP x64", Nt(5, 2, 3790, kWs, kAmd64), 0, 0, 1},
    {"Server 2003", Nt(5, 2, 3790, kSrv, kX86), 1, 1, 1},
    {"Server 2003 x64 domain controller", Nt(5, 2, 3790, kDc, kAmd64), 1, 1, 1},
    {"5.2 workstation on Itanium", Nt(5, 2, 3790, kWs, kIa64), 1, 12, 1},
    {"Windows 2000", Nt(5, 0, 2195, kWs, kX86), 12, 12, 1},
    {"Vista", Nt(6, 0, 6002, kWs, kX86), 2, 2, 1},
    {"Server 2008 x64", Nt(6, 0, 6002, kSrv, kAmd64), 3, 3, 0},
    {"7 x64", Nt(6, 1, 7601, kWs, kAmd64), 4, 4, 0},
    {"Server 2008 R2 Itanium", Nt(6, 1, 7601, kSrv, kIa64), 5, 5, 0},
    {"8", Nt(6, 2, 9200, kWs, kX86), 6, 6, 1},
    {"8.1", Nt(6, 3, 9600, kWs, kAmd64), 7, 7, 0},
    {"Server 2012", Nt(6, 2, 9200, kSrv, kAmd64), 8, 8, 0},
    {"Server 2012 R2", Nt(6, 3, 9600, kDc, kAmd64), 9, 9, 0},
    {"10 build 10240", Nt(10, 0, 10240, kWs, kX86), 10, 10, 1},
    {"10 build 15063", Nt(10, 0, 15063, kWs, kAmd64), 10, 10, 0},
    {"Server 2016", Nt(10, 0, 14393, kSrv, kAmd64), 11, 11, 0},
    {"6.4 (never released)", Nt(6, 4, 9841, kWs, kAmd64), 12, 12, 0},
    {"10.1 (not listed)", Nt(10, 1, 30000, kWs, kAmd64), 12, 12, 0},
};

TEST(OsKind, EveryRowOfBothTables) {
    for (const Row& row : kRows) {
        for (OsTable table : {OsTable::ControlPanel, OsTable::CoInstaller}) {
            OsKind kind;
            kind.kind = -1;
            ASSERT_TRUE(ClassifyOs(row.facts, table, &kind)) << row.name;
            const int32_t expected = table == OsTable::ControlPanel ? row.cplKind : row.setupKind;
            EXPECT_EQ(kind.kind, expected) << row.name;
            EXPECT_EQ(kind.platformFlag, row.platformFlag) << row.name;
            EXPECT_EQ(kind.build, row.facts.build) << row.name;
        }
    }
}

TEST(OsKind, NonNtAndNt4FailWithTheResetRecord) {
    OsVersionFacts nt4 = Nt(4, 0, 1381, kWs, kX86);
    OsVersionFacts win9x = Nt(4, 10, 2222, kWs, kX86);
    win9x.platformId = 1;  // VER_PLATFORM_WIN32_WINDOWS
    OsVersionFacts modernButNotNt = Nt(10, 0, 19045, kWs, kAmd64);
    modernButNotNt.platformId = 1;
    for (const OsVersionFacts& facts : {nt4, win9x, modernButNotNt}) {
        OsKind kind{4, 0, 1};
        EXPECT_FALSE(ClassifyOs(facts, OsTable::ControlPanel, &kind));
        EXPECT_EQ(kind.kind, 12);
        EXPECT_EQ(kind.platformFlag, 1);
        EXPECT_EQ(kind.build, 7601u);
    }
    EXPECT_FALSE(ClassifyOs(Nt(10, 0, 1, kWs, kX86), OsTable::CoInstaller, nullptr));
}

TEST(OsKind, CoreAudioAndVersion1703Predicates) {
    for (int32_t k = -1; k <= 13; ++k) EXPECT_EQ(IsCoreAudioKind(k), k >= 2 && k <= 11) << k;
    EXPECT_TRUE(IsWindows10Version1703OrLater({10, 0, 15063}));
    EXPECT_TRUE(IsWindows10Version1703OrLater({11, 0, 17763}));
    EXPECT_FALSE(IsWindows10Version1703OrLater({10, 0, 15062}));
    EXPECT_FALSE(IsWindows10Version1703OrLater({9, 0, 20000}));
    EXPECT_FALSE(IsWindows10Version1703OrLater({12, 1, 20000}));
}

}  // namespace
}  // namespace veltrano
