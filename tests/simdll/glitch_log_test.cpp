// The glitch log the virtual devices write beside a recording, and the
// comparison between glitches it allows.

#include "tools/wavcmp/glitch_log.h"

#include <gtest/gtest.h>

#include "tools/wavcmp/wav_compare.h"

namespace veltrano::wavcmp {
namespace {

WavData LoggedWav(std::vector<uint8_t> data) {
    WavData w;
    w.channels = 2;
    w.bitsPerSample = 24;
    w.sampleRate = 48000;
    w.data = std::move(data);
    return w;
}

std::vector<uint8_t> LoggedSignal(size_t frames) {
    std::vector<uint8_t> v(frames * 6);
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>(i * 29 + 1);
    return v;
}

// A starved device plays silence; the glitch log says where, and the
// comparison holds between the glitches and nowhere else.
TEST(WavCompare, UnderrunSilenceFromTheGlitchLogIsCutOutAndNothingElse) {
    const std::vector<uint8_t> played = LoggedSignal(3000);
    std::vector<uint8_t> recorded;
    recorded.reserve(played.size() + 1000 * 6);
    const auto play = [&](size_t from, size_t to) {
        recorded.insert(recorded.end(), played.begin() + static_cast<std::ptrdiff_t>(from * 6),
                        played.begin() + static_cast<std::ptrdiff_t>(to * 6));
    };
    const auto starve = [&](size_t frames) { recorded.resize(recorded.size() + frames * 6, 0); };
    // Lead-in 480, played 0-1000, 300 starved, 1000-2000, 50 starved, rest.
    starve(480);
    play(0, 1000);
    starve(300);
    play(1000, 2000);
    starve(50);
    play(2000, 3000);
    EXPECT_FALSE(CompareRecording(LoggedWav(played), LoggedWav(recorded), {}).match);

    GlitchLog log;
    log.AddUnderrun(1480, 300);
    log.AddUnderrun(2780, 50);
    GlitchLog parsed;
    ASSERT_TRUE(GlitchLog::Parse(log.Text(), parsed));
    EXPECT_EQ(parsed.UnderrunCount(), 2u);
    EXPECT_EQ(parsed.Underruns(), log.Underruns());
    CompareOptions options;
    options.silentGaps = parsed.Underruns();
    CompareResult r = CompareRecording(LoggedWav(played), LoggedWav(recorded), options);
    EXPECT_TRUE(r.match) << r.message;
    EXPECT_EQ(r.cutFrames, 350u);
    EXPECT_EQ(r.matchedFrames, 3000u);

    // A gap logged in the wrong place cuts audio and the comparison fails.
    options.silentGaps = {{1400, 300}, {2780, 50}};
    EXPECT_FALSE(CompareRecording(LoggedWav(played), LoggedWav(recorded), options).match);
}

TEST(GlitchLog, RefusesWhatIsNoLogAndKeepsCountingPastItsEntries) {
    GlitchLog out;
    EXPECT_FALSE(GlitchLog::Parse("", out));
    EXPECT_FALSE(GlitchLog::Parse("veltrano-glitches 2\nunderruns 0\noverwrites 0\n", out));
    EXPECT_FALSE(GlitchLog::Parse("veltrano-glitches 1\nunderruns 0\n", out));
    EXPECT_FALSE(
        GlitchLog::Parse("veltrano-glitches 1\nunderruns 0\noverwrites 0\nunderrun 5 5\n", out));
    EXPECT_FALSE(GlitchLog::Parse("veltrano-glitches 1\nunderruns x\noverwrites 0\n", out));
    GlitchLog log;
    for (size_t i = 0; i < GlitchLog::kMaxEntries + 10; ++i) log.AddOverwrite(i, 1);
    EXPECT_EQ(log.OverwriteCount(), GlitchLog::kMaxEntries + 10);
    EXPECT_EQ(log.Overwrites().size(), GlitchLog::kMaxEntries);
    ASSERT_TRUE(GlitchLog::Parse(log.Text(), out));
    EXPECT_EQ(out.OverwriteCount(), GlitchLog::kMaxEntries + 10);
    EXPECT_EQ(GlitchLog::SidecarPath("C:\\rec\\render-0-pin0-1.wav"),
              "C:\\rec\\render-0-pin0-1.glitches.txt");
    EXPECT_EQ(GlitchLog::SidecarPath("a.b/rec"), "a.b/rec.glitches.txt");
}

}  // namespace
}  // namespace veltrano::wavcmp
