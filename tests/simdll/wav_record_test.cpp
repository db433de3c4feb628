// What the virtual device writes to VELTRANO_SIM_RECORD when a render pin
// instance closes.

#include "sim/sim.h"
#include "simdll/simdll_support.h"
#include "tools/wavcmp/wav_compare.h"

namespace simdll {
namespace {

class WavRecordTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        m_folder = TempPath("record");
        CreateDirectoryA(m_folder.c_str(), nullptr);
        SetEnvironmentVariableA("VELTRANO_SIM_RECORD", m_folder.c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableA("VELTRANO_SIM_RECORD", nullptr);
        for (const char* name :
             {"render-0-pin0-1.wav", "render-0-pin0-2.wav", "render-0-pin0-3.wav"}) {
            DeleteFileA(File(name).c_str());
        }
        RemoveDirectoryA(m_folder.c_str());
        sim::Reset();
    }
    std::string File(const char* name) const { return m_folder + "\\" + name; }

    // Plays `packets` packets of `frames` frames on a new render instance and
    // closes it; returns the bytes played.
    std::vector<BYTE> PlayAndClose(kslib::CKsAudRenFilter& filter,
                                   const WAVEFORMATEXTENSIBLE& format, int packets, int frames,
                                   int seed) {
        kslib::CKsAudPin* pin = OpenRenderPin(filter, format);
        EXPECT_NE(pin, nullptr);
        if (pin == nullptr) return {};
        std::vector<std::unique_ptr<Packet>> ring;
        std::vector<BYTE> played;
        for (int k = 0; k < packets; ++k) {
            std::vector<BYTE> bytes(static_cast<size_t>(frames) * format.Format.nBlockAlign);
            for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = BYTE(i * 13 + k * 7 + seed);
            played.insert(played.end(), bytes.begin(), bytes.end());
            ring.push_back(std::make_unique<Packet>(std::move(bytes)));
            EXPECT_EQ(pin->WriteData(&ring.back()->header, &ring.back()->overlapped), S_OK);
        }
        EXPECT_EQ(pin->SetState(KSSTATE_RUN), S_OK);
        for (auto& packet : ring) EXPECT_TRUE(packet->Wait(10000));
        StopAndClose(pin);
        return played;
    }

    std::string m_folder;
};

TEST_F(WavRecordTest, EachRenderInstanceIsWrittenInItsFormatWithExactlyTheBytesItReceived) {
    auto filter = OpenFilter(sim::InterfacePath(0, KSCATEGORY_AUDIO));
    const std::vector<BYTE> first = PlayAndClose(*filter, Format(2, 24, 48000), 3, 480, 1);
    // The DSD carrier: 32-bit words at 88200 Hz, recorded as the PCM they are.
    const std::vector<BYTE> second = PlayAndClose(*filter, Format(2, 32, 88200), 2, 882, 5);

    veltrano::wavcmp::WavData wav;
    std::string error;
    ASSERT_TRUE(veltrano::wavcmp::ReadWavFile(File("render-0-pin0-1.wav"), wav, error)) << error;
    EXPECT_EQ(wav.channels, 2);
    EXPECT_EQ(wav.sampleRate, 48000u);
    EXPECT_EQ(wav.bitsPerSample, 24);
    EXPECT_EQ(wav.data, first);
    ASSERT_TRUE(veltrano::wavcmp::ReadWavFile(File("render-0-pin0-2.wav"), wav, error)) << error;
    EXPECT_EQ(wav.sampleRate, 88200u);
    EXPECT_EQ(wav.bitsPerSample, 32);
    EXPECT_EQ(wav.data, second);
}

TEST_F(WavRecordTest, AnInstanceThatPlayedNothingLeavesNoFile) {
    auto filter = OpenFilter(sim::InterfacePath(0, KSCATEGORY_AUDIO));
    kslib::CKsAudPin* pin = OpenRenderPin(*filter, Format(2, 16, 44100));
    ASSERT_NE(pin, nullptr);
    StopAndClose(pin);
    EXPECT_EQ(GetFileAttributesA(File("render-0-pin0-1.wav").c_str()), INVALID_FILE_ATTRIBUTES);
    // The count goes on, so a later file is not mistaken for this instance.
    const std::vector<BYTE> played = PlayAndClose(*filter, Format(2, 16, 44100), 1, 441, 9);
    veltrano::wavcmp::WavData wav;
    std::string error;
    ASSERT_TRUE(veltrano::wavcmp::ReadWavFile(File("render-0-pin0-2.wav"), wav, error)) << error;
    EXPECT_EQ(wav.data, played);
}

}  // namespace
}  // namespace simdll
