#pragma once
// Tests of the kernel-streaming library run against the virtual device,
// reconfigured for each test.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "kslib/ks_aud_filter.h"
#include "kslib/ks_log.h"
#include "platform/win32_headers.h"
#include "sim/sim.h"

namespace kstest {

class KsTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        if (getenv("KSLOG_DEBUG") != nullptr) {
            kslib::KsSetLogSink([](const char* t) { printf("LOG %s\n", t); });
            kslib::KsSetLogThreshold(6);
        }
    }
    void TearDown() override {
        kslib::KsSetLogThreshold(0);
        kslib::KsSetLogSink(nullptr);
        sim::Reset();
    }

    static void Use(sim::Config config) { sim::Configure(config); }

    // An opened audio render filter on device d with its pins enumerated.
    static std::unique_ptr<kslib::CKsAudRenFilter> OpenRenderFilter(size_t d = 0,
                                                                    HRESULT* phrEnum = nullptr) {
        HRESULT hr = E_FAIL;
        auto filter = std::make_unique<kslib::CKsAudRenFilter>(
            sim::InterfacePath(d, KSCATEGORY_AUDIO).c_str(), "", &hr);
        EXPECT_EQ(hr, S_OK);
        EXPECT_EQ(filter->Instantiate(), S_OK);
        const HRESULT hrEnum = filter->EnumeratePins();
        if (phrEnum != nullptr) {
            *phrEnum = hrEnum;
        } else {
            EXPECT_EQ(hrEnum, S_OK);
        }
        return filter;
    }
};

inline WAVEFORMATEX Pcm(WORD channels, WORD bits, DWORD rate) {
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = channels;
    wfx.wBitsPerSample = bits;
    wfx.nSamplesPerSec = rate;
    wfx.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    wfx.nAvgBytesPerSec = rate * wfx.nBlockAlign;
    return wfx;
}

inline WAVEFORMATEXTENSIBLE Extensible(WORD channels, WORD bits, DWORD rate) {
    WAVEFORMATEXTENSIBLE ext{};
    ext.Format = Pcm(channels, bits, rate);
    ext.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    ext.Format.cbSize = 22;
    ext.Samples.wValidBitsPerSample = bits;
    ext.dwChannelMask = 3;
    ext.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    return ext;
}

// Collects the library's log lines while a test has raised the threshold.
struct LogCapture {
    static std::vector<std::string>& Lines() {
        static std::vector<std::string> lines;
        return lines;
    }
    static void Sink(const char* text) { Lines().emplace_back(text); }
    explicit LogCapture(int level) {
        Lines().clear();
        kslib::KsSetLogSink(&Sink);
        kslib::KsSetLogThreshold(level);
    }
    bool Has(const std::string& text) const {
        for (const std::string& line : Lines()) {
            if (line == text) return true;
        }
        return false;
    }
};

}  // namespace kstest
