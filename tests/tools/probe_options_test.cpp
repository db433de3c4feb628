#include "tools/probe/probe_options.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace veltrano::probe;

ParsedOptions Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "veltrano-asio-probe");
    return ParseProbeOptions(static_cast<int>(args.size()), args.data());
}

TEST(ProbeOptions, DefaultsPlayTheDriversOwnSettings) {
    const auto p = Parse({});
    ASSERT_TRUE(p.ok);
    EXPECT_FALSE(p.options.list);
    EXPECT_EQ(p.options.rate, 0);
    EXPECT_EQ(p.options.bufferSize, 0);
    EXPECT_EQ(p.options.bits, 0);
    EXPECT_TRUE(p.options.timeInfo);
    EXPECT_TRUE(p.options.outputReady);
    EXPECT_TRUE(p.options.recordWav.empty());
    EXPECT_FALSE(p.options.playedWav.empty());
}

TEST(ProbeOptions, ReadsEveryOption) {
    const auto p = Parse({"--driver", "Veltrano-HD", "--rate", "2822400", "--bits", "24",
                          "--buffer", "1024", "--seconds", "0.5", "--signal", "pattern", "--out",
                          "a.wav", "--record", "b.wav", "--no-time-info", "--no-output-ready",
                          "--query", "--control-panel"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.driver, "Veltrano-HD");
    EXPECT_TRUE(p.options.controlPanel);
    EXPECT_EQ(p.options.rate, 2822400);
    EXPECT_EQ(p.options.bits, 24);
    EXPECT_EQ(p.options.bufferSize, 1024);
    EXPECT_EQ(p.options.seconds, 0.5);
    EXPECT_EQ(p.options.signal, SignalKind::Pattern);
    EXPECT_EQ(p.options.playedWav, "a.wav");
    EXPECT_EQ(p.options.recordWav, "b.wav");
    EXPECT_FALSE(p.options.timeInfo);
    EXPECT_FALSE(p.options.outputReady);
    EXPECT_TRUE(p.options.queryOnly);
    EXPECT_TRUE(Parse({"--help"}).options.help);
    EXPECT_TRUE(Parse({"--list"}).options.list);
}

TEST(ProbeOptions, RejectsBadValuesWithAReason) {
    const std::vector<std::vector<const char*>> bad = {
        {"--bogus"},          {"--driver"},          {"--rate", "fast"}, {"--rate", "-44100"},
        {"--bits", "20"},     {"--buffer", "1.5"},   {"--buffer", "0"},  {"--seconds", "0"},
        {"--seconds", "inf"}, {"--signal", "noise"}, {"--out"},          {"--rate", "44100x"},
    };
    for (const auto& args : bad) {
        const auto p = Parse(args);
        EXPECT_FALSE(p.ok) << args[0];
        EXPECT_FALSE(p.error.empty()) << args[0];
    }
}

TEST(ProbeOptions, UsageDocumentsEveryOptionAndExitCode) {
    const std::string usage = ProbeUsage();
    for (const char* option : {"--list", "--driver", "--query", "--rate", "--bits", "--buffer",
                               "--seconds", "--signal", "--out", "--record", "--no-time-info",
                               "--no-output-ready", "--control-panel"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
    EXPECT_NE(usage.find("6 createBuffers refused"), std::string::npos);
}

}  // namespace
