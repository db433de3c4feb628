// The control panel's rules without a window: which sections exist and what
// a user sees of each configuration, the volume scale, the ASIO texts.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>

#include "cpl/app/asio_view.h"
#include "cpl/app/panel_tables.h"
#include "cpl/app/section_plan.h"
#include "cpl/app/volume_math.h"

namespace veltrano::cpl {
namespace {

// Runs a plan over a window whose elements start as the skin's reset
// leaves them (buttons and labels shown, sliders hidden) and reports what
// is shown afterwards and which sections were created.
struct Outcome {
    std::map<std::string, bool> shown;
    std::map<std::string, std::string> texts;
    bool play = false, record = false, asio = false, remote = false;
    bool Shown(const std::string& name) const {
        auto it = shown.find(name);
        return it == shown.end() ? !(name.rfind("SLDR_", 0) == 0) : it->second;
    }
};

Outcome RunPlan(SectionSwitches switches, Presence presence) {
    Outcome o;
    for (const SectionStep& step : PlanSections(switches, presence).steps) {
        switch (step.kind) {
            case SectionStep::CreatePlayback: o.play = true; break;
            case SectionStep::CreateRecord: o.record = true; break;
            case SectionStep::CreateAsio: o.asio = true; break;
            case SectionStep::CreateRemote: o.remote = true; break;
            case SectionStep::ShowButton:
            case SectionStep::ShowLabel:
            case SectionStep::ShowSlider: o.shown[step.name] = step.visible; break;
            case SectionStep::SetLabelText: o.texts[step.name] = step.text; break;
            case SectionStep::RefreshAsio: EXPECT_TRUE(o.asio); break;
        }
    }
    return o;
}

TEST(SectionPlan, EveryConfigurationHidesTheControlsNoDeviceOffers) {
    for (uint32_t bits = 0; bits < 8; ++bits) {
        for (uint32_t shape = 0; shape < 8; ++shape) {
            SectionSwitches s{bits & 1, (bits >> 1) & 1, (bits >> 2) & 1};
            Presence p{(shape & 1) != 0, (shape & 2) != 0, (shape & 4) != 0};
            SCOPED_TRACE(testing::Message() << "switches " << bits << " shape " << shape);
            Outcome o = RunPlan(s, p);
            const SectionPlan plan = PlanSections(s, p);
            EXPECT_EQ(o.play, s.playRec != 0 && p.playback);
            EXPECT_EQ(o.record, s.playRec != 0 && p.record);
            EXPECT_EQ(o.asio, s.asioDrv != 0 && p.asio);
            EXPECT_EQ(plan.presence.playback, o.play);
            EXPECT_EQ(plan.presence.asio, o.asio);
            EXPECT_EQ(o.remote, s.rmtCtrl != 0 && (o.play || o.record || o.asio));
            // Never shown, whatever the configuration.
            for (const char* name : {"BTN_ASIO_BFSZ_3MS", "BTN_P_MUTE", "BTN_P_VOL_GANG",
                                     "BTN_R_MUTE", "BTN_R_VOL_GANG", "SLDR_P_VOL_L",
                                     "SLDR_P_VOL_R", "SLDR_R_VOL_L", "SLDR_R_VOL_R",
                                     "TXT_ASIOSTATUS", "TXT_ASIOPCM", "TXT_ASIODSD",
                                     "TXT_ASIODSD128", "TXT_ASIODSD256", "TXT_REMOTE_IP",
                                     "TXT_CPL_LOAD"}) {
                EXPECT_FALSE(o.Shown(name)) << name;
            }
            // A section that is not there leaves none of its buttons.
            if (!o.play) {
                for (const char* name : kPlayRateButtons) EXPECT_FALSE(o.Shown(name)) << name;
                for (const char* name : kPlayBitsButtons) EXPECT_FALSE(o.Shown(name)) << name;
            }
            if (!o.record) {
                for (const char* name : kRecRateButtons) EXPECT_FALSE(o.Shown(name)) << name;
            }
            for (int i = 1; i < kAsioBufferCount; ++i) {
                EXPECT_EQ(o.Shown(kAsioBufferButtons[i]), o.asio) << kAsioBufferButtons[i];
            }
            EXPECT_EQ(o.Shown("TXT_ASIOSTATE"), o.asio);
            EXPECT_EQ(o.Shown("TXT_ASIODEVICE"), o.asio);
            if (!o.asio) {
                EXPECT_FALSE(o.Shown("BTN_ASIO_24B"));
            }
            EXPECT_EQ(o.Shown("BTN_RMCT_START_SVR"), o.remote);
            EXPECT_EQ(o.Shown("TXT_LOCAL_IP"), o.remote);
            EXPECT_EQ(o.texts["TXT_ASIODSD"], "DSD64");
            EXPECT_EQ(o.texts["TXT_ASIOPCM"], "PCM");
        }
    }
}

TEST(SectionPlan, DefaultSwitchesShowOnlyTheAsioSectionOfAPresentDevice) {
    const Outcome o = RunPlan(SectionSwitches{}, Presence{true, true, true});
    EXPECT_FALSE(o.play);
    EXPECT_FALSE(o.record);
    EXPECT_TRUE(o.asio);
    EXPECT_FALSE(o.remote);
    EXPECT_FALSE(o.Shown("BTN_P_96K"));
    EXPECT_TRUE(o.Shown("BTN_ASIO_BFSZ_10MS"));
}

TEST(SectionPlan, TheAsioRefreshComesAfterEveryStepThatHidesItsLabels) {
    const SectionPlan plan = PlanSections(SectionSwitches{1, 1, 0}, Presence{true, true, true});
    ASSERT_FALSE(plan.steps.empty());
    EXPECT_EQ(plan.steps.back().kind, SectionStep::RefreshAsio);
}

TEST(VolumeScale, EndsOfTheSliderAreTheEndsOfTheRange) {
    EXPECT_FLOAT_EQ(DbFromSliderValue(0.0f, -127.0f, 0), 0.0f);
    EXPECT_FLOAT_EQ(DbFromSliderValue(0.0f, -127.0f, 100), -127.0f);
    EXPECT_FLOAT_EQ(DbFromSliderValue(6.0f, -10.0f, 50), -2.0f);
    EXPECT_EQ(SliderValueFromDb(0.0f, -127.0f, 0.0f), 0);
    EXPECT_EQ(SliderValueFromDb(0.0f, -127.0f, -127.0f), 100);
}

TEST(VolumeScale, ValueFromDbTruncatesTowardZeroBeforeTheOffset) {
    // (0 - -20) * 100 / 127 = 15.748...; 100 + T(15.748 - 100) = 100 - 84 = 16.
    EXPECT_EQ(SliderValueFromDb(0.0f, -127.0f, -20.0f), 16);
    // Every slider value survives the way to dB and back.
    for (int v = 0; v <= 100; ++v) {
        EXPECT_EQ(SliderValueFromDb(0.0f, -100.0f, DbFromSliderValue(0.0f, -100.0f, v)), v) << v;
    }
}

TEST(VolumeScale, BrokenRangesAndLevelsStayOnTheSlider) {
    EXPECT_EQ(SliderValueFromDb(0.0f, 0.0f, 0.0f), 0);      // empty range
    EXPECT_EQ(SliderValueFromDb(-10.0f, 0.0f, -5.0f), 0);   // reversed range
    EXPECT_EQ(SliderValueFromDb(0.0f, -127.0f, 12.0f), 0);  // above the range
    EXPECT_EQ(SliderValueFromDb(0.0f, -127.0f, -500.0f), 100);
    EXPECT_EQ(SliderValueFromDb(0.0f, -127.0f, std::nanf("")), 0);
}

TEST(AsioView, BufferButtonIsTheFirstNotBelowTheSetting) {
    EXPECT_EQ(BufferButtonIndex(100), 3);
    EXPECT_EQ(BufferButtonIndex(80), 3);
    EXPECT_EQ(BufferButtonIndex(30), 0);
    EXPECT_EQ(BufferButtonIndex(0), 0);
    EXPECT_EQ(BufferButtonIndex(1000), 8);
    EXPECT_EQ(BufferButtonIndex(1001), -1);
    EXPECT_EQ(BufferButtonIndex(1500), -1);
    EXPECT_EQ(BufferButtonIndex(0xFFFFFFFFu), -1);
}

TEST(AsioView, BitDepthOutsideTheThreeBecomesSixteen) {
    EXPECT_EQ(NormalisedBitsSetting(24), 24u);
    EXPECT_EQ(NormalisedBitsSetting(32), 32u);
    EXPECT_EQ(NormalisedBitsSetting(20), 16u);
    EXPECT_EQ(NormalisedBitsSetting(0), 16u);
}

TEST(AsioView, StatusLine) {
    char line[96];
    FormatStatusLine(24, 44100, 441, line, sizeof line);
    EXPECT_STREQ(line, "2 Channel, 24 bits, 44100 Hz, Buffer 10.0 ms");
    FormatStatusLine(24, 48000, 480, line, sizeof line);
    EXPECT_STREQ(line, "2 Channel, 24 bits, 48000 Hz, Buffer 10.0 ms");
    FormatStatusLine(32, 88200, 2205, line, sizeof line);
    EXPECT_STREQ(line, "2 Channel, 32 bits, 88200 Hz, Buffer 25.0 ms");
    // A block with no rate yet shows no infinite buffer.
    FormatStatusLine(16, 0, 480, line, sizeof line);
    EXPECT_STREQ(line, "2 Channel, 16 bits, 0 Hz, Buffer 0.0 ms");
    // A short buffer is cut, never overrun.
    char small[8];
    std::memset(small, 'x', sizeof small);
    FormatStatusLine(24, 48000, 480, small, sizeof small);
    EXPECT_EQ(std::strlen(small), 7u);
}

TEST(AsioView, StateTextsAndIndicators) {
    EXPECT_STREQ(StateTexts(4).state, "RUNNING");
    EXPECT_TRUE(StateTexts(4).showDeviceName);
    EXPECT_STREQ(StateTexts(1).state, "LOADED");
    EXPECT_FALSE(StateTexts(1).showDeviceName);
    EXPECT_STREQ(StateTexts(0).state, "UNLOAD");
    EXPECT_STREQ(StateTexts(77).state, "UNLOAD");
    EXPECT_FALSE(StateTexts(77).showDeviceName);
    EXPECT_EQ(IndicatorFor(0, 0, 0), FormatIndicator::Pcm);
    EXPECT_EQ(IndicatorFor(1, 0, 0), FormatIndicator::Dsd64);
    EXPECT_EQ(IndicatorFor(1, 1, 1), FormatIndicator::Dsd128);
    EXPECT_EQ(IndicatorFor(1, 0, 1), FormatIndicator::Dsd256);
    EXPECT_EQ(IndicatorFor(2, 0, 1), FormatIndicator::Pcm);
}

}  // namespace
}  // namespace veltrano::cpl
