#include "tools/wavcmp/glitch_log.h"

#include <sstream>

namespace veltrano::wavcmp {
namespace {

constexpr const char* kMagic = "veltrano-glitches";
constexpr size_t kSummaryEntries = 8;

std::string List(const char* what, uint64_t count, const std::vector<Glitch>& entries) {
    std::string text = std::to_string(count) + " " + what + (count == 1 ? "" : "s");
    if (entries.empty()) return text;
    text += " (";
    for (size_t i = 0; i < entries.size() && i < kSummaryEntries; ++i) {
        if (i > 0) text += ", ";
        text += "at frame " + std::to_string(entries[i].frame) + " for " +
                std::to_string(entries[i].frames);
    }
    if (count > kSummaryEntries) text += ", ...";
    return text + ")";
}

}  // namespace

void GlitchLog::AddUnderrun(uint64_t frame, uint64_t frames) {
    ++m_underrunCount;
    if (m_underruns.size() < kMaxEntries) m_underruns.push_back({frame, frames});
}

void GlitchLog::AddOverwrite(uint64_t frame, uint64_t frames) {
    ++m_overwriteCount;
    if (m_overwrites.size() < kMaxEntries) m_overwrites.push_back({frame, frames});
}

std::string GlitchLog::Text() const {
    std::ostringstream out;
    out << kMagic << " 1\n";
    out << "underruns " << m_underrunCount << "\n";
    out << "overwrites " << m_overwriteCount << "\n";
    for (const Glitch& g : m_underruns) out << "underrun " << g.frame << " " << g.frames << "\n";
    for (const Glitch& g : m_overwrites) out << "overwrite " << g.frame << " " << g.frames << "\n";
    return out.str();
}

bool GlitchLog::Parse(const std::string& text, GlitchLog& out) {
    std::istringstream in(text);
    std::string word;
    int version = 0;
    if (!(in >> word >> version) || word != kMagic || version != 1) return false;
    GlitchLog log;
    bool haveUnderruns = false;
    bool haveOverwrites = false;
    while (in >> word) {
        uint64_t a = 0;
        uint64_t b = 0;
        if (word == "underruns" && !haveUnderruns && (in >> a)) {
            log.m_underrunCount = a;
            haveUnderruns = true;
        } else if (word == "overwrites" && !haveOverwrites && (in >> a)) {
            log.m_overwriteCount = a;
            haveOverwrites = true;
        } else if (word == "underrun" && (in >> a >> b) && log.m_underruns.size() < kMaxEntries) {
            log.m_underruns.push_back({a, b});
        } else if (word == "overwrite" && (in >> a >> b) &&
                   log.m_overwrites.size() < kMaxEntries) {
            log.m_overwrites.push_back({a, b});
        } else {
            return false;
        }
    }
    if (!haveUnderruns || !haveOverwrites || log.m_underruns.size() > log.m_underrunCount ||
        log.m_overwrites.size() > log.m_overwriteCount) {
        return false;
    }
    out = std::move(log);
    return true;
}

std::string GlitchLog::SidecarPath(const std::string& wavPath) {
    std::string base = wavPath;
    const size_t dot = base.find_last_of('.');
    const size_t slash = base.find_last_of("/\\");
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) base.resize(dot);
    return base + ".glitches.txt";
}

std::string GlitchLog::Summary() const {
    return List("underrun", m_underrunCount, m_underruns) + "; " +
           List("overwritten packet", m_overwriteCount, m_overwrites);
}

}  // namespace veltrano::wavcmp
