#include "sim/profile/sim_profile.h"

#include <charconv>
#include <initializer_list>
#include <utility>

#include "common/rate_table.h"
#include "common/width_mask.h"

namespace veltrano::sim {
namespace {

std::string_view Trim(std::string_view s) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
    return s;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

bool ParseUnsigned(std::string_view s, uint32_t* value, int base = 10) {
    s = Trim(s);
    if (s.empty()) return false;
    uint32_t v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
    if (ec != std::errc() || end != s.data() + s.size()) return false;
    *value = v;
    return true;
}

bool ParseBool(std::string_view s, bool* value) {
    const std::string v = Lower(Trim(s));
    if (v == "1" || v == "yes" || v == "true" || v == "on") {
        *value = true;
        return true;
    }
    if (v == "0" || v == "no" || v == "false" || v == "off") {
        *value = false;
        return true;
    }
    return false;
}

// A comma-separated list, each item mapped to a mask bit; false on any bad
// item or an empty list.
template <typename BitOf>
bool ParseMask(std::string_view s, BitOf bitOf, uint32_t* mask) {
    uint32_t m = 0;
    while (true) {
        const size_t comma = s.find(',');
        uint32_t item = 0;
        if (!ParseUnsigned(s.substr(0, comma), &item)) return false;
        const uint32_t bit = bitOf(item);
        if (bit == 0) return false;
        m |= bit;
        if (comma == std::string_view::npos) break;
        s.remove_prefix(comma + 1);
    }
    *mask = m;
    return true;
}

bool ParseRange(std::string_view s, uint32_t lo, uint32_t hi, uint32_t* value) {
    uint32_t v = 0;
    if (!ParseUnsigned(s, &v) || v < lo || v > hi) return false;
    *value = v;
    return true;
}

// Applies one key; false when the key is unknown or its value malformed.
bool Apply(const std::string& section, const std::string& key, std::string_view value,
           SimProfile& p, std::string* why) {
    const auto widthBit = [](uint32_t bits) { return WidthBit(static_cast<int>(bits)); };
    const auto rateBit = [](uint32_t rate) { return RateBit(rate); };
    bool ok = false;
    if (section == "device") {
        if (key == "render") {
            ok = ParseBool(value, &p.render);
        } else if (key == "capture") {
            ok = ParseBool(value, &p.capture);
        } else if (key == "channels") {
            ok = ParseRange(value, 1, 8, &p.channels);
        } else if (key == "capture_channels") {
            ok = ParseRange(value, 1, 8, &p.captureChannels);
        } else if (key == "widths") {
            ok = ParseMask(value, widthBit, &p.widthMask);
        } else if (key == "rates") {
            ok = ParseMask(value, rateBit, &p.rateMask);
        } else if (key == "capture_rates") {
            ok = ParseMask(value, rateBit, &p.captureRateMask);
        } else if (key == "hid") {
            ok = ParseBool(value, &p.hid);
        } else if (key == "hid_report_length") {
            ok = ParseRange(value, 0, 255, &p.hidReportLength);
        } else if (key == "microphone") {
            ok = ParseBool(value, &p.microphone);
        } else if (key == "minimum_period_us") {
            ok = ParseRange(value, 100, 500000, &p.minimumPeriodUs);
        } else if (key == "buffer_alignment_bytes") {
            ok = ParseRange(value, 0, 65536, &p.bufferAlignmentBytes);
        } else if (key == "product_id") {
            uint32_t id = 0;
            ok = ParseUnsigned(value, &id, 16) && id != 0 && id <= 0xFFFF;
            if (ok) p.productId = static_cast<uint16_t>(id);
        } else {
            *why = "unknown key '" + key + "'";
            return false;
        }
    } else if (section == "faults") {
        const auto pick = [&](std::initializer_list<std::pair<const char*, uint32_t>> names,
                              uint32_t* out) {
            const std::string v = Lower(Trim(value));
            for (const auto& [name, number] : names) {
                if (v == name) {
                    *out = number;
                    return true;
                }
            }
            return false;
        };
        uint32_t n = 0;
        if (key == "stop_completing_after_ms") {
            ok = ParseRange(value, 0, 3600000, &p.stopCompletingAfterMs);
        } else if (key == "deny_endpoint_writes") {
            ok = ParseBool(value, &p.denyEndpointWrites);
        } else if (key == "pin_busy") {
            ok = ParseBool(value, &p.pinBusy);
        } else if (key == "completion_error_after") {
            ok = ParseRange(value, 0, 1000000000, &n);
            if (ok) p.completionErrorAfter = static_cast<int32_t>(n);
        } else if (key == "completion_error") {
            ok = pick({{"removed", 1617}, {"cancelled", 995}, {"busy", 170}, {"failure", 31}},
                      &p.completionError);
        } else if (key == "fail_state") {
            ok = pick({{"stop", 0}, {"acquire", 1}, {"pause", 2}, {"run", 3}}, &n);
            if (ok) p.failState = static_cast<int32_t>(n);
        } else if (key == "stall_state") {
            ok = pick({{"stop", 0}, {"acquire", 1}, {"pause", 2}, {"run", 3}}, &n);
            if (ok) p.stallState = static_cast<int32_t>(n);
        } else if (key == "async_properties") {
            ok = ParseBool(value, &p.asyncProperties);
        } else if (key == "size_query_error") {
            ok = pick({{"more_data", 234}, {"insufficient_buffer", 122}}, &p.sizeQueryError);
        } else if (key == "hid_write_stall_ms") {
            ok = ParseRange(value, 0, 3600000, &p.hidWriteStallMs);
        } else if (key == "unplug_after_ms") {
            ok = ParseRange(value, 0, 3600000, &p.unplugAfterMs);
        } else {
            *why = "unknown key '" + key + "'";
            return false;
        }
    } else {
        *why = "key '" + key + "' outside [device] or [faults]";
        return false;
    }
    if (!ok) *why = "bad value for '" + key + "'";
    return ok;
}

}  // namespace

ProfileResult ParseSimProfile(std::string_view text) {
    ProfileResult result;
    std::string section;
    bool captureRatesGiven = false;
    bool captureChannelsGiven = false;
    int lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);

        const size_t comment = line.find_first_of(";#");
        line = Trim(line.substr(0, comment));
        if (line.empty()) continue;
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        if (line.front() == '[') {
            if (line.back() != ']') {
                result.problems.push_back(where + "unterminated section");
                section.clear();
                continue;
            }
            section = Lower(Trim(line.substr(1, line.size() - 2)));
            if (section != "device" && section != "faults") {
                result.problems.push_back(where + "unknown section [" + section + "]");
            }
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            result.problems.push_back(where + "expected key = value");
            continue;
        }
        const std::string key = Lower(Trim(line.substr(0, eq)));
        std::string why;
        if (!Apply(section, key, line.substr(eq + 1), result.profile, &why)) {
            result.problems.push_back(where + why);
            continue;
        }
        captureRatesGiven |= key == "capture_rates";
        captureChannelsGiven |= key == "capture_channels";
    }
    // The capture side follows the render side unless told otherwise.
    if (!captureRatesGiven) result.profile.captureRateMask = result.profile.rateMask;
    if (!captureChannelsGiven) result.profile.captureChannels = result.profile.channels;
    return result;
}

}  // namespace veltrano::sim
