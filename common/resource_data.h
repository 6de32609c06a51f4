#pragma once
// Read-only views of the program's own resources.

#include <windows.h>

#include <string>

namespace common {

struct ResourceBytes {
    const void* data = nullptr;
    DWORD size = 0;
    explicit operator bool() const { return data != nullptr; }
};

// Finds, loads and locks a resource; empty when any of these fails. The bytes
// stay valid as long as the module is loaded.
ResourceBytes FindResourceBytes(HMODULE module, LPCWSTR name, LPCWSTR type);

// A string-table entry through the normal language lookup; empty when absent.
std::wstring LoadStringResource(HINSTANCE instance, UINT id);

}  // namespace common
