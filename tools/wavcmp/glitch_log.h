#pragma once
// What a virtual device records beside each recording about the moments it
// was not fed as a real device needs: underruns (the device's clock ran on
// with nothing queued, and the starved time is silence in the recording)
// and overwrites (a render packet changed after it was queued, before the
// device played it; the recording holds what was queued).
//
// The sidecar is a small text file next to the WAV, "<name>.glitches.txt":
//
//   veltrano-glitches 1
//   underruns <count>
//   overwrites <count>
//   underrun <frame> <frames>      one line per underrun, in order
//   overwrite <frame> <frames>     one line per overwritten packet
//
// Frames count frames of the recording: an underrun's silence starts at
// <frame> and lasts <frames>; an overwritten packet starts at <frame>. The
// counts are totals; past kMaxEntries only the counts go on growing.
// Both virtual devices (kernel-streaming pins and audio endpoints) write it;
// veltrano-wav-compare reads it.

#include <cstdint>
#include <string>
#include <vector>

namespace veltrano::wavcmp {

struct Glitch {
    uint64_t frame = 0;
    uint64_t frames = 0;
    bool operator==(const Glitch&) const = default;
};

class GlitchLog {
public:
    static constexpr size_t kMaxEntries = 4096;

    void AddUnderrun(uint64_t frame, uint64_t frames);
    void AddOverwrite(uint64_t frame, uint64_t frames);

    uint64_t UnderrunCount() const { return m_underrunCount; }
    uint64_t OverwriteCount() const { return m_overwriteCount; }
    const std::vector<Glitch>& Underruns() const { return m_underruns; }
    const std::vector<Glitch>& Overwrites() const { return m_overwrites; }

    std::string Text() const;
    // False for anything that is not a sidecar of this version.
    static bool Parse(const std::string& text, GlitchLog& out);

    // "x/render-0.wav" -> "x/render-0.glitches.txt".
    static std::string SidecarPath(const std::string& wavPath);
    // One line for people: "2 underruns (at frame 48000 for 480 frames, ...)".
    std::string Summary() const;

private:
    uint64_t m_underrunCount = 0;
    uint64_t m_overwriteCount = 0;
    std::vector<Glitch> m_underruns;
    std::vector<Glitch> m_overwrites;
};

}  // namespace veltrano::wavcmp
