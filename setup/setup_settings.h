#pragma once
// Setup.config beside the program: the key/value pairs of its appSettings,
// read once through the system's XML document component.

#include <map>
#include <string>

namespace setup {

// Keys compare as UTF-16 units (case-sensitive); the first occurrence of a
// key wins.
using SetupSettings = std::map<std::wstring, std::wstring>;

constexpr wchar_t kRequiredVersionKey[] = L"JRE.RequiredVersion";

// The program's path cut at its last full stop (anywhere in the path), with
// ".config" appended; empty for an empty path.
std::wstring ConfigurationPath(const std::wstring& programPath);

// Adds the pairs of the file to the map: exactly one "configuration" element,
// exactly one "appSettings" below it, and every "add" below that with both
// "key" and "value". Elements are searched in the whole subtree. Every
// failure is silent; the map keeps what was read. COM must be initialised on
// the calling thread.
void LoadSetupSettings(const std::wstring& path, SetupSettings& settings);

// The process's settings, loaded from the program's configuration file on the
// first call and never again.
const SetupSettings& GetSetupSettings();

}  // namespace setup
