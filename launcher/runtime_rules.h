#pragma once
// Rules for choosing the Java runtime and cleaning up behind it.

#include <optional>
#include <string>
#include <vector>

namespace launcher {

extern const wchar_t kJavaRuntimeKey[];      // HKLM "SOFTWARE\JavaSoft\Java Runtime Environment"
extern const wchar_t kUninstallKey[];        // HKLM "...\CurrentVersion\Uninstall"

// A registered version subkey counts from "1.8" on, over its first three
// characters: "1.8.0_202", "9" and "11" do, "1.7.0_80" and "1.10" do not.
bool IsVersionNameAtLeast18(const std::wstring& subkeyName);

// "CurrentVersion" below "1.8" in a whole-string comparison.
bool IsCurrentVersionTooOld(const std::wstring& version);

// The folder of an uninstaller's "UninstallString": the text before its last
// "\", taken literally; nothing when it holds none.
std::optional<std::wstring> FolderOfUninstallString(const std::wstring& uninstallString);

// Only a display name of exactly "Java 7" counts.
bool IsJava7DisplayName(const std::wstring& displayName);

// msiexec's arguments for an uninstall entry's key name.
std::wstring Java7RemovalArguments(const std::wstring& uninstallKeyName);

}  // namespace launcher
