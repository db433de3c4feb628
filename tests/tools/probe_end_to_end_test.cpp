// The probe as a user runs it, against the COM test driver registered with
// regsvr32: listing, queries, streaming to WAV files and every failure exit.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "com/com_test_support.h"
#include "support/peer_process.h"
#include "tools/probe/probe_options.h"
#include "tools/probe/test_signal.h"
#include "tools/probe/wav_writer.h"

namespace {

using veltrano::test::WinePath;

using namespace veltrano::probe;
using veltrano::test::ScopedEnv;

struct ProbeRun {
    long exitCode = -1;
    std::string output;  // standard output and standard error
};

ProbeRun Probe(const std::string& arguments) {
    const auto process = veltrano::test::RunProcess(
        "\"" + WinePath(PROBE_EXE) + "\" " + arguments, true, 120000);
    ProbeRun run;
    if (process.started && process.exitCode != STILL_ACTIVE) {
        run.exitCode = static_cast<long>(process.exitCode);
    }
    // Text-mode output ends its lines with CR LF.
    run.output = process.output;
    std::erase(run.output, '\r');
    return run;
}

std::vector<uint8_t> WavData(const std::string& path, uint32_t& rate, int& bits, int& channels) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    if (bytes.size() < kWavHeaderBytes) return {};
    channels = bytes[22] | bytes[23] << 8;
    rate = bytes[24] | bytes[25] << 8 | bytes[26] << 16 | uint32_t(bytes[27]) << 24;
    bits = bytes[34];
    return std::vector<uint8_t>(bytes.begin() + kWavHeaderBytes, bytes.end());
}

class ProbeEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        VELTRANO_SKIP_WITHOUT_CHILD_PROCESSES();
        ASSERT_EQ(veltrano::test::RunProcess("regsvr32.exe /s \"" + WinePath(COM_TEST_DLL) + "\""),
                  0);
        m_played = testing::TempDir() + "probe_e2e_played.wav";
        m_recorded = testing::TempDir() + "probe_e2e_recorded.wav";
    }
    void TearDown() override {
        veltrano::test::RunProcess("regsvr32.exe /u /s \"" + WinePath(COM_TEST_DLL) + "\"");
        DeleteFileA(m_played.c_str());
        DeleteFileA(m_recorded.c_str());
    }
    std::string m_played;
    std::string m_recorded;
};

TEST_F(ProbeEndToEnd, ListsTheRegisteredDriverAndAnswersEveryQuery) {
    const ProbeRun list = Probe("--list");
    EXPECT_EQ(list.exitCode, kExitOk) << list.output;
    const auto clsid = veltrano::test::ReadString(HKEY_LOCAL_MACHINE, "Software\\ASIO\\Veltrano-HD",
                                                  "CLSID", true);
    ASSERT_TRUE(clsid.has_value());
    EXPECT_NE(list.output.find("Veltrano-HD\n  CLSID " + *clsid), std::string::npos) << list.output;

    const ProbeRun query = Probe("--query --driver veltrano-hd");
    EXPECT_EQ(query.exitCode, kExitOk) << query.output;
    for (const char* line :
         {"name: Veltrano-HD Test", "version: 7", "channels: 2 in, 2 out",
          "output 1: \"Test Out\" group 0 type 18 (Int32LSB)", "384000:yes", "11289600:yes",
          "current rate: 44100", "buffer sizes: min 64 max 8192 preferred 512 granularity -1",
          "latencies: in 64 out 96", "0: \"Internal\" channel -1 group -1 current"}) {
        EXPECT_NE(query.output.find(line), std::string::npos) << line << "\n" << query.output;
    }

    const ProbeRun help = Probe("--help");
    EXPECT_EQ(help.exitCode, kExitOk);
    EXPECT_EQ(help.output, ProbeUsage());
}

TEST_F(ProbeEndToEnd, PlaysThePatternRecordsTheLoopbackAndWritesBothFiles) {
    ScopedEnv bits("VELTRANO_TEST_BITS", "24");
    const ProbeRun run = Probe(
        "--bits 24 --rate 48000 --buffer 256 --seconds 0.5 --signal pattern "
        "--out \"" +
        m_played + "\" --record \"" + m_recorded + "\"");
    ASSERT_EQ(run.exitCode, kExitOk) << run.output;
    EXPECT_NE(run.output.find("callback: bufferSwitchTimeInfo, outputReady: called"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("buffer switches: "), std::string::npos);

    uint32_t rate = 0;
    int width = 0, channels = 0;
    const auto played = WavData(m_played, rate, width, channels);
    EXPECT_EQ(rate, 48000u);
    EXPECT_EQ(width, 24);
    ASSERT_EQ(channels, 2);
    const size_t frames = played.size() / 6;
    EXPECT_GE(frames, 24000u);
    EXPECT_EQ(frames % 256, 0u);
    TestSignal expected(SignalKind::Pattern, SampleFormat::Int24, 48000, 2);
    for (size_t f = 0; f < frames; ++f) {
        for (int c = 0; c < 2; ++c) {
            const uint8_t* p = &played[f * 6 + static_cast<size_t>(c) * 3];
            const int32_t v =
                static_cast<int32_t>((p[0] | p[1] << 8 | uint32_t(p[2]) << 16) << 8) >> 8;
            ASSERT_EQ(v, expected.PcmValue(c, f)) << "frame " << f << " channel " << c;
        }
    }
    // The test driver returns each output buffer on the inputs one buffer later.
    const auto recorded = WavData(m_recorded, rate, width, channels);
    ASSERT_EQ(recorded.size(), played.size());
    const size_t shift = 256 * 6;
    EXPECT_TRUE(std::equal(recorded.begin() + shift, recorded.end(), played.begin()));
}

TEST_F(ProbeEndToEnd, PlaysNativeDsdThroughPlainBufferSwitches) {
    const ProbeRun run = Probe(
        "--rate 2822400 --buffer 8192 --seconds 0.3 --signal pattern "
        "--no-time-info --out \"" +
        m_played + "\"");
    ASSERT_EQ(run.exitCode, kExitOk) << run.output;
    EXPECT_NE(run.output.find("callback: bufferSwitch,"), std::string::npos) << run.output;
    uint32_t rate = 0;
    int width = 0, channels = 0;
    const auto played = WavData(m_played, rate, width, channels);
    EXPECT_EQ(rate, 88200u);
    EXPECT_EQ(width, 32);
    ASSERT_EQ(channels, 2);
    ASSERT_GE(played.size(), 8u * 100);
    for (size_t word = 0; word < 100; ++word) {
        for (int c = 0; c < 2; ++c) {
            const uint8_t* p = &played[word * 8 + static_cast<size_t>(c) * 4];
            for (int b = 0; b < 4; ++b) {
                // The DSD bytes in stream order, the first lowest in memory.
                ASSERT_EQ(p[b], TestSignal::DsdPatternByte(c, word * 4 + b));
            }
        }
    }
}

TEST_F(ProbeEndToEnd, EveryFailureHasItsExitCodeAndAMessage) {
    struct Case {
        const char* env;
        const char* value;
        std::string arguments;
        long exitCode;
        const char* message;
    };
    const std::vector<Case> cases = {
        {nullptr, nullptr, "--seconds -1", kExitUsage, "--seconds needs"},
        {nullptr, nullptr, "--driver Nonesuch --query", kExitNoDriver, "no ASIO driver named"},
        {"VELTRANO_TEST_DEVICE", "absent", "--query", kExitCreateFailed,
         "creating the driver failed"},
        {"VELTRANO_TEST_INIT", "fail", "--query", kExitInitFailed,
         "init failed: test device refused"},
        {nullptr, nullptr, "--rate 12345 --query", kExitSetupFailed, "setSampleRate(12345"},
        {"VELTRANO_TEST_BITS", "16", "--bits 32 --seconds 0.1", kExitSetupFailed,
         "streams 16-bit samples, not 32"},
        {nullptr, nullptr, "--buffer 32 --seconds 0.1", kExitBuffersRefused,
         "createBuffers refused"},
        {nullptr, nullptr, "--rate 384000 --seconds 3600", kExitSetupFailed, "too long"},
        {nullptr, nullptr, "--seconds 0.1 --out \"Z:\\no\\such\\folder\\x.wav\"", kExitFileFailed,
         "cannot create"},
    };
    for (const Case& c : cases) {
        if (c.env != nullptr) SetEnvironmentVariableA(c.env, c.value);
        const ProbeRun run = Probe(c.arguments);
        if (c.env != nullptr) SetEnvironmentVariableA(c.env, nullptr);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << "\n" << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << c.arguments << "\n"
                                                                 << run.output;
    }

    veltrano::test::RunProcess("regsvr32.exe /u /s \"" + WinePath(COM_TEST_DLL) + "\"");
    const ProbeRun none = Probe("--list");
    EXPECT_EQ(none.exitCode, kExitNoDriver);
    EXPECT_NE(none.output.find("no ASIO driver is registered"), std::string::npos);
}

}  // namespace
