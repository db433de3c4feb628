// The demo's verdict on a recording: what was played must be in it, exactly,
// after the driver's lead-in.

#include "tools/wavcmp/wav_compare.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "tools/probe/wav_writer.h"

namespace veltrano::wavcmp {
namespace {

WavData Wav(std::vector<uint8_t> data, int channels = 2, int bits = 24, uint32_t rate = 48000) {
    WavData w;
    w.channels = channels;
    w.bitsPerSample = bits;
    w.sampleRate = rate;
    w.data = std::move(data);
    return w;
}

std::vector<uint8_t> Signal(size_t frames, size_t frameBytes = 6, int seed = 0) {
    std::vector<uint8_t> v(frames * frameBytes);
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>(i * 29 + 1 + seed);
    return v;
}

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(WavCompare, AcceptsThePlayedAudioAfterALeadInWithAShortTailMissing) {
    const std::vector<uint8_t> played = Signal(4800);
    // PCM lead-in of two 480-frame packets, and the host's last 960 frames
    // never sent.
    std::vector<uint8_t> recorded(960 * 6, 0x00);
    recorded.insert(recorded.end(), played.begin(), played.end() - 960 * 6);
    CompareResult r = CompareRecording(Wav(played), Wav(recorded), {});
    EXPECT_TRUE(r.match) << r.message;
    EXPECT_EQ(r.leadingFrames, 960u);
    EXPECT_EQ(r.matchedFrames, 3840u);
    EXPECT_EQ(r.missingFrames, 960u);

    // DSD idle bytes as lead-in, and a played stream that itself starts with
    // a silent frame: the earliest exact alignment wins.
    std::vector<uint8_t> dsd = Concat(std::vector<uint8_t>(8, 0x69), Signal(100, 8));
    std::vector<uint8_t> dsdRecorded = Concat(std::vector<uint8_t>(16, 0x69), dsd);
    r = CompareRecording(Wav(dsd, 2, 32, 88200), Wav(dsdRecorded, 2, 32, 88200), {});
    EXPECT_TRUE(r.match) << r.message;
    EXPECT_EQ(r.leadingFrames, 2u);
}

TEST(WavCompare, RejectsAlteredReorderedShortOrForeignRecordings) {
    const std::vector<uint8_t> played = Signal(4800);
    const std::vector<uint8_t> lead(480 * 6, 0x00);

    std::vector<uint8_t> flipped = Concat(lead, played);
    flipped[lead.size() + 3000 * 6 + 4] ^= 0x01;  // one bit of frame 3000
    CompareResult r = CompareRecording(Wav(played), Wav(flipped), {});
    EXPECT_FALSE(r.match);
    EXPECT_NE(r.message.find("frame 3000"), std::string::npos) << r.message;

    std::vector<uint8_t> swapped = Concat(lead, played);  // two packets swapped
    std::swap_ranges(swapped.begin() + 480 * 6 + 480 * 6, swapped.begin() + 480 * 6 + 960 * 6,
                     swapped.begin() + 480 * 6 + 960 * 6);
    EXPECT_FALSE(CompareRecording(Wav(played), Wav(swapped), {}).match);

    // A lost packet in the middle is not a missing tail.
    std::vector<uint8_t> gap = Concat(lead, played);
    gap.erase(gap.begin() + 480 * 6 + 960 * 6, gap.begin() + 480 * 6 + 1440 * 6);
    EXPECT_FALSE(CompareRecording(Wav(played), Wav(gap), {}).match);

    // Audio before the played stream or after it that the host never played.
    EXPECT_FALSE(CompareRecording(Wav(played), Wav(Concat(Signal(10, 6, 77), played)), {}).match);
    r = CompareRecording(Wav(played), Wav(Concat(Concat(lead, played), Signal(10, 6, 77))), {});
    EXPECT_FALSE(r.match);
    EXPECT_NE(r.message.find("did not play"), std::string::npos) << r.message;

    // Too much missing at the end, silence only, another format.
    const std::vector<uint8_t> half(played.begin(), played.begin() + 2400 * 6);
    CompareOptions strict;
    strict.maxMissingFrames = 960;
    r = CompareRecording(Wav(played), Wav(Concat(lead, half)), strict);
    EXPECT_FALSE(r.match);
    EXPECT_EQ(r.missingFrames, 2400u);
    // By default a quarter of a second may be missing.
    const std::vector<uint8_t> second = Signal(48000);
    const std::vector<uint8_t> most(second.begin(), second.end() - 12001 * 6);
    EXPECT_FALSE(CompareRecording(Wav(second), Wav(Concat(lead, most)), {}).match);
    const std::vector<uint8_t> enough(second.begin(), second.end() - 12000 * 6);
    EXPECT_TRUE(CompareRecording(Wav(second), Wav(Concat(lead, enough)), {}).match);
    CompareOptions lenient;
    lenient.maxMissingFrames = 2400;
    EXPECT_TRUE(CompareRecording(Wav(played), Wav(Concat(lead, half)), lenient).match);
    EXPECT_FALSE(CompareRecording(Wav(played), Wav(lead), {}).match);
    EXPECT_FALSE(CompareRecording(Wav(played), Wav(played, 2, 24, 44100), {}).match);
    EXPECT_FALSE(CompareRecording(Wav({}), Wav(lead), {}).match);
}

TEST(WavCompare, ReadsTheFilesTheProbeWritesAndRefusesMalformedOnes) {
    const std::vector<uint8_t> samples = Signal(100);
    const auto header = probe::WavHeader(2, 96000, 24, static_cast<uint32_t>(samples.size()));
    std::vector<uint8_t> file(header.size() + samples.size());
    std::copy(header.begin(), header.end(), file.begin());
    std::copy(samples.begin(), samples.end(), file.begin() + header.size());
    WavData w;
    std::string error;
    ASSERT_TRUE(ParseWav(file, w, error)) << error;
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.sampleRate, 96000u);
    EXPECT_EQ(w.bitsPerSample, 24);
    EXPECT_EQ(w.data, samples);

    // A data size larger than the file (a writer that died) is cut to what
    // is there, in whole frames.
    std::vector<uint8_t> cut(file.begin(), file.end() - 4);
    ASSERT_TRUE(ParseWav(cut, w, error)) << error;
    EXPECT_EQ(w.data.size(), samples.size() - 6);

    for (size_t size : {size_t{0}, size_t{11}, size_t{20}, size_t{36}}) {
        EXPECT_FALSE(ParseWav(std::vector<uint8_t>(file.begin(), file.begin() + size), w, error))
            << size;
    }
    std::vector<uint8_t> floatFile = file;
    floatFile[20] = 3;  // IEEE float
    EXPECT_FALSE(ParseWav(floatFile, w, error));
    std::vector<uint8_t> hugeChunk = file;
    hugeChunk[16] = 0xFF;  // fmt chunk size beyond the file
    hugeChunk[19] = 0xFF;
    EXPECT_FALSE(ParseWav(hugeChunk, w, error));
    // An odd-sized chunk ending exactly at the end: its pad byte is missing.
    std::vector<uint8_t> odd = {'R', 'I', 'F', 'F', 0,   0, 0, 0, 'W', 'A', 'V',
                                'E', 'L', 'I', 'S', 'T', 1, 0, 0, 0,   'x'};
    EXPECT_FALSE(ParseWav(odd, w, error));
    EXPECT_EQ(error, "no fmt chunk");
    EXPECT_FALSE(ReadWavFile("no-such-dir/none.wav", w, error));
}

}  // namespace
}  // namespace veltrano::wavcmp
