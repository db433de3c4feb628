#pragma once
// The co-installer's text rules: paths it builds, command lines it hands to
// other programs, the device search path it edits and the hardware IDs it
// compares. No platform calls, so every rule is tested and fuzzed on the
// host as well.

#include <optional>
#include <string>
#include <string_view>

namespace veltrano::setup {

// Paths the co-installer builds must fit the platform's 260-character
// buffers, terminator included. A longer path is refused instead of being cut
// short, since a cut path names some other file.
inline constexpr size_t kMaxPathLength = 259;

// folder + name, or nothing when the result would be longer than
// kMaxPathLength (or folder or name holds a NUL).
std::optional<std::string> JoinPath(std::string_view folder, std::string_view name);

// Whether a path may stand between double quotes on a command line that CMD
// or RegSvr32 reads: a double quote would end the quoting, CMD expands `%`
// even inside quotes, and control characters have no place in a path. `&`,
// `|`, `^`, `(` and spaces are taken literally inside quotes and stay
// allowed. An empty path is refused.
bool IsQuotablePath(std::string_view path);

// The parameter texts of the commands the co-installer starts; nothing when
// a path is not quotable.
std::optional<std::string> RegSvr32Parameters(std::string_view dllPath, bool unregister);
std::optional<std::string> DeleteCommandParameters(std::string_view path);
enum class CertStore { Root, TrustedPublisher };
std::optional<std::string> CertToolParameters(bool add, std::string_view certPath, CertStore store);

// ASCII upper case; other bytes unchanged.
std::string UpperAscii(std::string_view text);

// Uninstall mode: "/U" anywhere in the first 259 characters of the command
// line, in any case.
bool HasUninstallSwitch(std::string_view commandLine);

// The device search path is a ';'-separated list of folders. Entries are
// compared whole and without regard to case, so "C:\PKG\DRIVER" is neither
// found inside "C:\PKG\DRIVERXP" nor added twice as "c:\pkg\driver".
//
// Adding puts the upper-cased folder first; a value that already lists it is
// returned unchanged. An empty value becomes the folder alone. A folder that
// cannot be one entry (empty, or holding ';' or NUL) changes nothing.
std::string DevicePathAdd(std::string_view current, std::string_view folder);
// Removing drops every entry naming the folder together with one separator
// each; nothing when the folder is not listed (the value is left alone).
std::optional<std::string> DevicePathRemove(std::string_view current, std::string_view folder);

// A device's first hardware ID, upper-cased, with the revision part taken
// out: USB\VID_vvvv&PID_pppp&REV_rrrr&MI_ii becomes USB\VID_vvvv&PID_pppp&MI_ii.
// Nothing unless it holds "&REV" followed later by "MI".
std::optional<std::string> StripRevision(std::string_view hardwareId);

// Whether `text` starts with `prefix`, ASCII case ignored (the comparison
// over the length of a stored name).
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

}  // namespace veltrano::setup
