// Proves the Wine harness gives the later tests what they stand on: the real
// registry, and named file mappings shared with a second process.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "support/peer_process.h"

namespace {

using veltrano::test::RunPeer;

std::string UniqueName(const char* stem) {
    return std::string(stem) + std::to_string(GetCurrentProcessId());
}

TEST(WineHarness, RegistryValueWrittenHereIsReadByAnotherProcess) {
    VELTRANO_SKIP_WITHOUT_CHILD_PROCESSES();
    const std::string key = "Software\\VeltranoHarness\\" + UniqueName("k");
    HKEY hkey = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &hkey, nullptr),
              ERROR_SUCCESS);
    const DWORD value = 44;
    ASSERT_EQ(RegSetValueExA(hkey, "Probe", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                             sizeof(value)),
              ERROR_SUCCESS);
    RegCloseKey(hkey);

    const auto peer = RunPeer("read-hkcu " + key + " Probe");
    ASSERT_TRUE(peer.started);
    EXPECT_EQ(peer.exitCode, 44u);
    EXPECT_EQ(peer.output, "44");

    EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str()), ERROR_SUCCESS);
    EXPECT_EQ(RunPeer("read-hkcu " + key + " Probe").exitCode, 255u);
}

TEST(WineHarness, NamedMappingIsSharedBothWaysWithASecondProcess) {
    VELTRANO_SKIP_WITHOUT_CHILD_PROCESSES();
    const std::string name = UniqueName("VeltranoHarnessBlock");
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 340,
                                        name.c_str());
    ASSERT_NE(mapping, nullptr);
    ASSERT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    auto* words = static_cast<volatile DWORD*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    ASSERT_NE(words, nullptr);
    words[0] = 0x20130107;
    words[84] = 0x5A;  // offset 336, the last field

    auto peer = RunPeer("read-mapping " + name + " 336");
    ASSERT_TRUE(peer.started);
    EXPECT_EQ(peer.output, "90");
    peer = RunPeer("read-mapping " + name + " 0");
    EXPECT_EQ(peer.output, std::to_string(0x20130107));

    peer = RunPeer("write-mapping " + name + " 28 1");
    EXPECT_EQ(peer.exitCode, 0u);
    EXPECT_EQ(words[7], 1u);

    UnmapViewOfFile(const_cast<DWORD*>(words));
    CloseHandle(mapping);
    // With the last handle gone the section is gone too.
    EXPECT_EQ(RunPeer("read-mapping " + name + " 0").exitCode, 255u);
}

// A program that cannot be started is a failure for a test that looks only
// at the exit code (regsvr32's, say), never a success.
TEST(WineHarness, AProgramThatNeverStartedHasNoSuccessfulExitCode) {
    VELTRANO_SKIP_WITHOUT_CHILD_PROCESSES();
    const auto run = veltrano::test::RunProcess("\"Z:\\no\\such\\folder\\program.exe\" /s", true, 10000);
    EXPECT_FALSE(run.started);
    EXPECT_NE(run.exitCode, 0u);
    EXPECT_NE(run.output.find("CreateProcessA failed"), std::string::npos) << run.output;
}

}  // namespace
