#pragma once
// What the machine's registry says about Java runtimes and the product's
// uninstaller: read from the machine hive only.

#include <windows.h>

#include <optional>
#include <string>

namespace launcher {

// A runtime from "1.8" on is registered below kJavaRuntimeKey.
bool IsRuntime18OrLaterRegistered();

// "1.8.0_202 (1.8 or later), 1.7 (older)", or "none": for the trace.
std::wstring RegisteredRuntimeVersions();

// A machine string value as the shell reads it (REG_EXPAND_SZ expanded);
// nothing when it is missing, is not a string or is longer than maxBytes.
std::optional<std::wstring> ReadMachineString(const std::wstring& keyPath, const wchar_t* valueName, DWORD maxBytes);

// The key name of the first uninstall entry whose display name is "Java 7".
std::optional<std::wstring> FindJava7UninstallEntry();

// The "UninstallString" of the product's own uninstall entry, in the
// registry's 32-bit view.
std::optional<std::wstring> ReadProductUninstallString(const std::wstring& productId);

}  // namespace launcher
