#include "setup/setup_text.h"

#include <vector>

namespace veltrano::setup {

namespace {

char UpperChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (UpperChar(a[i]) != UpperChar(b[i])) return false;
    }
    return true;
}

std::string Quoted(std::string_view path) {
    std::string out;
    out.reserve(path.size() + 2);
    out += '"';
    out += path;
    out += '"';
    return out;
}

// The entries of a ';'-separated list, empty ones included, so that joining
// them again gives back the text unchanged.
std::vector<std::string_view> SplitEntries(std::string_view list) {
    std::vector<std::string_view> entries;
    size_t start = 0;
    while (true) {
        const size_t end = list.find(';', start);
        if (end == std::string_view::npos) {
            entries.push_back(list.substr(start));
            return entries;
        }
        entries.push_back(list.substr(start, end - start));
        start = end + 1;
    }
}

// A folder that can stand as one entry of the list.
bool IsListableFolder(std::string_view folder) {
    return !folder.empty() && folder.find(';') == std::string_view::npos &&
           folder.find('\0') == std::string_view::npos;
}

}  // namespace

std::optional<std::string> JoinPath(std::string_view folder, std::string_view name) {
    if (folder.find('\0') != std::string_view::npos || name.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    if (folder.size() > kMaxPathLength || name.size() > kMaxPathLength - folder.size()) {
        return std::nullopt;
    }
    std::string out;
    out.reserve(folder.size() + name.size());
    out += folder;
    out += name;
    return out;
}

bool IsQuotablePath(std::string_view path) {
    if (path.empty()) return false;
    for (char c : path) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '%' || u < 0x20 || u == 0x7f) return false;
    }
    return true;
}

std::optional<std::string> RegSvr32Parameters(std::string_view dllPath, bool unregister) {
    if (!IsQuotablePath(dllPath)) return std::nullopt;
    return (unregister ? "/u " : "") + Quoted(dllPath) + " /s";
}

std::optional<std::string> DeleteCommandParameters(std::string_view path) {
    if (!IsQuotablePath(path)) return std::nullopt;
    return " /C del " + Quoted(path);
}

std::optional<std::string> CertToolParameters(bool add, std::string_view certPath, CertStore store) {
    if (!IsQuotablePath(certPath)) return std::nullopt;
    std::string out = add ? "-add " : "-del ";
    out += Quoted(certPath);
    out += store == CertStore::Root ? " -s -r localmachine root" : " -s -r localmachine trustedpublisher";
    return out;
}

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = UpperChar(c);
    return out;
}

bool HasUninstallSwitch(std::string_view commandLine) {
    return UpperAscii(commandLine.substr(0, kMaxPathLength)).find("/U") != std::string::npos;
}

std::string DevicePathAdd(std::string_view current, std::string_view folder) {
    if (!IsListableFolder(folder)) return std::string(current);
    const std::string upper = UpperAscii(folder);
    if (current.empty()) return upper;
    for (std::string_view entry : SplitEntries(current)) {
        if (EqualNoCase(entry, upper)) return std::string(current);
    }
    std::string out;
    out.reserve(upper.size() + 1 + current.size());
    out += upper;
    out += ';';
    out += current;
    return out;
}

std::optional<std::string> DevicePathRemove(std::string_view current, std::string_view folder) {
    if (!IsListableFolder(folder)) return std::nullopt;
    const std::vector<std::string_view> entries = SplitEntries(current);
    std::string out;
    out.reserve(current.size());
    bool found = false;
    bool first = true;
    for (std::string_view entry : entries) {
        if (EqualNoCase(entry, folder)) {
            found = true;
            continue;
        }
        if (!first) out += ';';
        out += entry;
        first = false;
    }
    if (!found) return std::nullopt;
    return out;
}

std::optional<std::string> StripRevision(std::string_view hardwareId) {
    const std::string upper = UpperAscii(hardwareId);
    const size_t rev = upper.find("&REV");
    if (rev == std::string::npos) return std::nullopt;
    const size_t mi = upper.find("MI", rev + 4);
    if (mi == std::string::npos) return std::nullopt;
    return upper.substr(0, rev + 1) + upper.substr(mi);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace veltrano::setup
