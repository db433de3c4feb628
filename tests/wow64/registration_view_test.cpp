// Both builds of the driver registered in one 64-bit prefix, as on 64-bit
// Windows: each registration lands in the registry view of its own bitness,
// where hosts of that bitness look, and removing one leaves the other alone.
// The 32-bit driver and probe come from the 32-bit build's tree.
#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <string>

#include "common/contract/registry_key.h"
#include "support/peer_process.h"

namespace veltrano::test {
namespace {

using veltrano::RegistryKey;

constexpr char kDriverKey[] = "Software\\ASIO\\Veltrano-HD";
constexpr REGSAM kView32 = KEY_WOW64_32KEY;
constexpr REGSAM kView64 = KEY_WOW64_64KEY;

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A string value in one registry view; empty when the key or value is absent.
std::string Read(HKEY root, const std::string& key, const char* name, REGSAM view) {
    const RegistryKey k = RegistryKey::Open(root, key.c_str(), KEY_READ | view);
    char text[600] = {};
    return k && k.ReadString(name, text, sizeof text) ? std::string(text) : std::string();
}

bool Exists(HKEY root, const std::string& key, REGSAM view) {
    return static_cast<bool>(RegistryKey::Open(root, key.c_str(), KEY_READ | view));
}

// Paths compare without regard to case, as Windows compares them.
std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// One build's driver and the regsvr32 and probe of that build's bitness.
struct Build {
    std::string dll;
    std::string regsvr32;
    std::string probe;
    REGSAM view;

    std::string Clsid() const { return Read(HKEY_LOCAL_MACHINE, kDriverKey, "CLSID", view); }
    std::string ClassKey(const std::string& clsid) const { return "CLSID\\" + clsid; }
    unsigned long Register() const {
        return RunProcess("\"" + regsvr32 + "\" /s \"" + dll + "\"", true, 60000).exitCode;
    }
    unsigned long Unregister() const {
        return RunProcess("\"" + regsvr32 + "\" /u /s \"" + dll + "\"", true, 60000).exitCode;
    }
    PeerResult List() const { return RunProcess("\"" + probe + "\" --list", true, 60000); }
};

class RegistrationViews : public ::testing::Test {
protected:
    void SetUp() override {
        m32.dll = WinePath(WIN32_BUILD_DIR "/" DRIVER_IN_TREE);
        m32.probe = WinePath(WIN32_BUILD_DIR "/" PROBE_IN_TREE);
        if (!FileExists(m32.dll) || !FileExists(m32.probe)) {
            VELTRANO_SKIP_ONLY_WITHOUT_32BIT("no 32-bit build at " << WIN32_BUILD_DIR
                                             << " (build the win32 preset, as scripts/test does, "
                                                "to check both registry views)");
        }
        char folder[MAX_PATH] = {};
        if (GetSystemWow64DirectoryA(folder, MAX_PATH) == 0 ||
            !FileExists(std::string(folder) + "\\regsvr32.exe")) {
            VELTRANO_SKIP_ONLY_WITHOUT_32BIT(
                "this Wine prefix runs no 32-bit programs (no SysWOW64\\regsvr32.exe);"
                " 32-bit Wine must be installed, and able to start, when the prefix is made");
        }
        VELTRANO_SKIP_WITHOUT_CHILD_PROCESSES(true);
        m32.regsvr32 = std::string(folder) + "\\regsvr32.exe";
        m32.view = kView32;
        GetSystemDirectoryA(folder, MAX_PATH);
        m64.regsvr32 = std::string(folder) + "\\regsvr32.exe";
        m64.dll = WinePath(DRIVER_64);
        m64.probe = WinePath(PROBE_64);
        m64.view = kView64;

        ASSERT_EQ(m32.Register(), 0u) << m32.dll;
        ASSERT_EQ(m64.Register(), 0u) << m64.dll;
        m_clsid32 = m32.Clsid();
        m_clsid64 = m64.Clsid();
        ASSERT_FALSE(m_clsid32.empty());
        ASSERT_FALSE(m_clsid64.empty());
        ASSERT_NE(m_clsid32, m_clsid64);
        WriteUserSetting();
    }
    void TearDown() override {
        if (!m32.regsvr32.empty()) {
            m32.Unregister();
            m64.Unregister();
        }
    }

    static void WriteUserSetting() {
        const RegistryKey user = RegistryKey::Create(HKEY_CURRENT_USER, kDriverKey);
        ASSERT_TRUE(user);
        ASSERT_TRUE(user.WriteDword("BufferSize", 100));
    }

    // The registration of `b` (whose class is `clsid`) is whole, in its view
    // and nowhere else.
    void ExpectRegistered(const Build& b, const Build& other, const std::string& clsid) {
        EXPECT_EQ(b.Clsid(), clsid);
        EXPECT_EQ(Upper(Read(HKEY_LOCAL_MACHINE, kDriverKey, "Driver", b.view)), Upper(b.dll));
        EXPECT_EQ(
            Upper(Read(HKEY_CLASSES_ROOT, b.ClassKey(clsid) + "\\InprocServer32", nullptr, b.view)),
            Upper(b.dll));
        EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, b.ClassKey(clsid), other.view))
            << clsid << " leaked into the other view";
    }
    void ExpectGone(const Build& b, const std::string& clsid) {
        EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, kDriverKey, b.view));
        EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, b.ClassKey(clsid), b.view));
    }

    Build m32;
    Build m64;
    std::string m_clsid32;
    std::string m_clsid64;
};

TEST_F(RegistrationViews, EachBuildRegistersInTheViewOfItsBitness) {
    ExpectRegistered(m32, m64, m_clsid32);
    ExpectRegistered(m64, m32, m_clsid64);
    // Where 64-bit tools see the 32-bit registration.
    EXPECT_EQ(
        Read(HKEY_LOCAL_MACHINE, "Software\\WOW6432Node\\ASIO\\Veltrano-HD", "CLSID", kView64),
        m_clsid32);
}

TEST_F(RegistrationViews, EachHostListsOnlyTheDriverOfItsBitness) {
    const PeerResult list32 = m32.List();
    ASSERT_EQ(list32.exitCode, 0u) << list32.output;
    EXPECT_NE(list32.output.find(m_clsid32), std::string::npos) << list32.output;
    EXPECT_EQ(list32.output.find(m_clsid64), std::string::npos) << list32.output;
    const PeerResult list64 = m64.List();
    ASSERT_EQ(list64.exitCode, 0u) << list64.output;
    EXPECT_NE(list64.output.find(m_clsid64), std::string::npos) << list64.output;
    EXPECT_EQ(list64.output.find(m_clsid32), std::string::npos) << list64.output;
}

TEST_F(RegistrationViews, UnregisteringOneBuildKeepsTheOthersRegistration) {
    ASSERT_EQ(m32.Unregister(), 0u);
    ExpectGone(m32, m_clsid32);
    ExpectRegistered(m64, m32, m_clsid64);
    // The user's settings are shared by both views; either removal takes them.
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kDriverKey, 0));

    ASSERT_EQ(m32.Register(), 0u);
    const std::string again32 = m32.Clsid();
    WriteUserSetting();
    ASSERT_EQ(m64.Unregister(), 0u);
    ExpectGone(m64, m_clsid64);
    ExpectRegistered(m32, m64, again32);
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kDriverKey, 0));
}

}  // namespace
}  // namespace veltrano::test
