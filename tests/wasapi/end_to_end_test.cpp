// The simulated WASAPI driver as a user meets it: registered with regsvr32,
// created through COM by the ASIO probe, streaming to the virtual endpoints,
// which write what they received to a WAV file.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "com/com_test_support.h"
#include "support/peer_process.h"

namespace {

using veltrano::test::WinePath;

using veltrano::test::RunProcess;
using veltrano::test::ScopedEnv;

constexpr size_t kHeaderBytes = 44;

struct Wav {
    int channels = 0;
    uint32_t rate = 0;
    int bits = 0;
    std::vector<uint8_t> data;
};

Wav ReadWav(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    Wav wav;
    if (bytes.size() < kHeaderBytes) return wav;
    wav.channels = bytes[22] | bytes[23] << 8;
    wav.rate = bytes[24] | bytes[25] << 8 | bytes[26] << 16 | uint32_t(bytes[27]) << 24;
    wav.bits = bytes[34];
    wav.data.assign(bytes.begin() + kHeaderBytes, bytes.end());
    return wav;
}

class WasapiEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        VELTRANO_SKIP_WITHOUT_CHILD_PROCESSES();
        m_folder = testing::TempDir() + "wasapi_e2e";
        CreateDirectoryA(m_folder.c_str(), nullptr);
        DeleteFileA(Recorded().c_str());
        m_profile = testing::TempDir() + "wasapi_e2e_profile.ini";
        std::ofstream(m_profile) << "[device]\nwidths = 24\nrates = 44100, 48000\n";
        ASSERT_EQ(RunProcess("regsvr32.exe /s \"" + WinePath(SIM_DLL) + "\""), 0);
    }
    void TearDown() override {
        RunProcess("regsvr32.exe /u /s \"" + WinePath(SIM_DLL) + "\"");
        DeleteFileA(Recorded().c_str());
        DeleteFileA((m_folder + "\\render-1.glitches.txt").c_str());
        DeleteFileA(m_played.c_str());
        DeleteFileA(m_profile.c_str());
        RemoveDirectoryA(m_folder.c_str());
    }
    std::string Recorded() const { return m_folder + "\\render-1.wav"; }

    std::string m_folder;
    std::string m_profile;
    std::string m_played = testing::TempDir() + "wasapi_e2e_played.wav";
};

TEST_F(WasapiEndToEnd, TheEndpointReceivesExactlyWhatTheProbePlayed) {
    constexpr size_t kFrames = 4800;  // 100 ms: a loaded machine must not drop a period
    {
        ScopedEnv profile("VELTRANO_SIM_PROFILE", m_profile.c_str());
        ScopedEnv record("VELTRANO_SIM_RECORD", m_folder.c_str());
        const long exitCode =
            RunProcess("\"" + WinePath(PROBE_EXE) +
                       "\" --driver Veltrano-HD --rate 48000 --bits 24 --buffer 4800 "
                       "--seconds 1 --signal pattern --out \"" +
                       m_played + "\"");
        ASSERT_EQ(exitCode, 0);
    }
    const Wav played = ReadWav(m_played);
    const Wav recorded = ReadWav(Recorded());
    ASSERT_EQ(played.bits, 24);
    ASSERT_EQ(recorded.rate, 48000u);
    ASSERT_EQ(recorded.channels, 2);
    ASSERT_EQ(recorded.bits, 24);
    const size_t period = kFrames * 6;
    ASSERT_GE(played.data.size(), 10 * period);
    // One period queued before the start and the two halves the host had not
    // filled yet, then every buffer the host played, in order. The device
    // plays in real time: the last three were still on their way (two in
    // the driver's halves, one queued in the endpoint) when the probe
    // stopped, and a stop does not wait for them.
    ASSERT_GE(recorded.data.size(), 3 * period);
    EXPECT_TRUE(std::all_of(recorded.data.begin(), recorded.data.begin() + 3 * period,
                            [](uint8_t b) { return b == 0; }));
    const size_t compared = std::min(recorded.data.size() - 3 * period, played.data.size());
    EXPECT_GE(compared + 3 * period, played.data.size());
    EXPECT_TRUE(std::equal(played.data.begin(), played.data.begin() + compared,
                           recorded.data.begin() + 3 * period));
}

}  // namespace
