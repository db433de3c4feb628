// VeltranoHDASIO_sim as a host meets it: registered with regsvr32, found and
// created through COM by the probe in a process of its own, streamed, released
// and unloaded. The process must end by itself (a device clock left running
// in the unloading DLL once hung it), and the virtual device's recording must
// hold exactly what the probe played.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "support/peer_process.h"
#include "tools/wavcmp/wav_compare.h"

namespace {

using veltrano::test::WinePath;

using veltrano::test::RunProcess;

class SimDriverHost : public ::testing::Test {
protected:
    void SetUp() override {
        VELTRANO_SKIP_WITHOUT_CHILD_PROCESSES();
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        m_folder = std::string(temp) + "veltrano-simhost-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(m_folder.c_str(), nullptr);
        ASSERT_EQ(RunProcess("regsvr32 /s \"" + WinePath(SIM_DLL) + "\"", true, 60000).exitCode,
                  0u);
    }
    void TearDown() override {
        RunProcess("regsvr32 /u /s \"" + WinePath(SIM_DLL) + "\"", true, 60000);
        for (const char* name :
             {"\\played.wav", "\\render-0-pin0-1.wav", "\\render-0-pin0-1.glitches.txt"}) {
            DeleteFileA((m_folder + name).c_str());
        }
        RemoveDirectoryA(m_folder.c_str());
        SetEnvironmentVariableA("VELTRANO_SIM_RECORD", nullptr);
    }
    // The device's recording holds what the probe played, between the
    // underruns a loaded machine may have caused.
    void ExpectRecordingMatches() {
        veltrano::wavcmp::WavData played;
        veltrano::wavcmp::WavData recorded;
        std::string error;
        ASSERT_TRUE(veltrano::wavcmp::ReadWavFile(m_folder + "\\played.wav", played, error))
            << error;
        ASSERT_TRUE(
            veltrano::wavcmp::ReadWavFile(m_folder + "\\render-0-pin0-1.wav", recorded, error))
            << error;
        std::ifstream log(m_folder + "\\render-0-pin0-1.glitches.txt", std::ios::binary);
        ASSERT_TRUE(log.is_open());
        const std::string text((std::istreambuf_iterator<char>(log)),
                               std::istreambuf_iterator<char>());
        veltrano::wavcmp::GlitchLog glitches;
        ASSERT_TRUE(veltrano::wavcmp::GlitchLog::Parse(text, glitches)) << text;
        EXPECT_EQ(glitches.OverwriteCount(), 0u);
        veltrano::wavcmp::CompareOptions options;
        options.silentGaps = glitches.Underruns();
        const auto result = veltrano::wavcmp::CompareRecording(played, recorded, options);
        EXPECT_TRUE(result.match) << result.message << "; " << glitches.Summary();
        if (glitches.UnderrunCount() > 0) std::printf("%s\n", glitches.Summary().c_str());
        EXPECT_GT(result.matchedFrames, 40000u);
    }
    std::string m_folder;
};

// Every kind of host: switches through bufferSwitchTimeInfo or plain
// bufferSwitch, each with and without outputReady.
TEST_F(SimDriverHost, ProbeStreamsThroughTheSimDriverAndItsProcessEnds) {
    SetEnvironmentVariableA("VELTRANO_SIM_RECORD", m_folder.c_str());
    const struct {
        const char* options;
        const char* callbacks;
    } hosts[] = {
        {"", "callback: bufferSwitchTimeInfo, outputReady: called"},
        {"--no-output-ready", "callback: bufferSwitchTimeInfo, outputReady: not called"},
        {"--no-time-info", "callback: bufferSwitch, outputReady: called"},
        {"--no-time-info --no-output-ready", "callback: bufferSwitch, outputReady: not called"},
    };
    for (const auto& host : hosts) {
        SCOPED_TRACE(host.callbacks);
        DeleteFileA((m_folder + "\\render-0-pin0-1.wav").c_str());
        DeleteFileA((m_folder + "\\render-0-pin0-1.glitches.txt").c_str());
        const auto run = RunProcess("\"" + WinePath(PROBE_EXE) +
                                        "\" --driver Veltrano-HD --signal pattern --rate 44100 "
                                        "--buffer 441 --seconds 1 " +
                                        host.options + " --out \"" + m_folder + "\\played.wav\"",
                                    true, 120000);
        ASSERT_TRUE(run.started);
        ASSERT_NE(run.exitCode, static_cast<unsigned long>(STILL_ACTIVE)) << "the probe hung";
        ASSERT_EQ(run.exitCode, 0u) << run.output;
        EXPECT_NE(run.output.find(host.callbacks), std::string::npos) << run.output;
        ExpectRecordingMatches();
    }
}

}  // namespace
