#include "tools/probe/wav_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

namespace {

using namespace veltrano::probe;

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint32_t Le16(const uint8_t* p) { return p[0] | p[1] << 8; }

TEST(WavWriter, HeaderDescribesIntegerPcm) {
    const auto h = WavHeader(2, 48000, 24, 600);
    EXPECT_EQ(std::string(h.begin(), h.begin() + 4), "RIFF");
    EXPECT_EQ(Le32(&h[4]), 636u);
    EXPECT_EQ(std::string(h.begin() + 8, h.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(Le32(&h[16]), 16u);
    EXPECT_EQ(Le16(&h[20]), 1u);
    EXPECT_EQ(Le16(&h[22]), 2u);
    EXPECT_EQ(Le32(&h[24]), 48000u);
    EXPECT_EQ(Le32(&h[28]), 48000u * 6);
    EXPECT_EQ(Le16(&h[32]), 6u);
    EXPECT_EQ(Le16(&h[34]), 24u);
    EXPECT_EQ(std::string(h.begin() + 36, h.begin() + 40), "data");
    EXPECT_EQ(Le32(&h[40]), 600u);
}

TEST(WavWriter, LayoutsFollowTheStreamedFormat) {
    EXPECT_EQ(WavLayoutFor(SampleFormat::Int16, 44100).bitsPerSample, 16);
    EXPECT_EQ(WavLayoutFor(SampleFormat::Int24, 96000).bitsPerSample, 24);
    EXPECT_EQ(WavLayoutFor(SampleFormat::Int32, 96000).sampleRate, 96000u);
    const WavLayout dsd = WavLayoutFor(SampleFormat::Dsd8Msb, 5644800);
    EXPECT_EQ(dsd.bitsPerSample, 32);
    EXPECT_EQ(dsd.sampleRate, 176400u);
}

TEST(WavWriter, InterleavesPackedSamplesAndCutsPartialOnes) {
    const uint8_t left[] = {1, 2, 3, 4, 5, 6, 7};
    const uint8_t right[] = {11, 12, 13, 14, 15, 16, 17};
    const auto out = Interleave({left, right}, 7, {24, 48000});
    const std::vector<uint8_t> expected = {1, 2, 3, 11, 12, 13, 4, 5, 6, 14, 15, 16};
    EXPECT_EQ(out, expected);
}

TEST(WavWriter, DsdBytesBecomeWordsWithTheFirstByteLowest) {
    const uint8_t left[] = {0xA1, 0xA2, 0xA3, 0xA4};
    const uint8_t right[] = {0xB1, 0xB2, 0xB3, 0xB4};
    const auto out = Interleave({left, right}, 4, WavLayoutFor(SampleFormat::Dsd8Msb, 2822400));
    ASSERT_EQ(out.size(), 8u);
    EXPECT_EQ(Le32(&out[0]), 0xA4A3A2A1u);
    EXPECT_EQ(Le32(&out[4]), 0xB4B3B2B1u);
}

TEST(WavWriter, WritesAFileThatReadsBackAndReportsFailures) {
    const std::string path = testing::TempDir() + "probe_wav_writer_test.wav";
    const uint8_t left[] = {1, 2, 3, 4};
    const uint8_t right[] = {5, 6, 7, 8};
    std::string error;
    ASSERT_TRUE(WriteWavFile(path, {left, right}, 4, {16, 44100}, error)) << error;
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    in.close();
    ASSERT_EQ(bytes.size(), kWavHeaderBytes + 8);
    EXPECT_EQ(Le32(&bytes[40]), 8u);
    const std::vector<uint8_t> data(bytes.begin() + kWavHeaderBytes, bytes.end());
    EXPECT_EQ(data, (std::vector<uint8_t>{1, 2, 5, 6, 3, 4, 7, 8}));
    std::remove(path.c_str());

    EXPECT_FALSE(WriteWavFile(testing::TempDir() + "no/such/folder/x.wav", {left}, 4,
                              {16, 44100}, error));
    EXPECT_NE(error.find("cannot create"), std::string::npos);
    EXPECT_FALSE(WriteWavFile(path, {}, 4, {16, 44100}, error));
}

}  // namespace
