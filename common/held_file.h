#pragma once
// Program files written by an elevated program and then started: between
// the write and the start nobody else may change them. A handle that shares
// reading only keeps every writer and deleter out, and the system can still
// start the file.

#include "common/unique_resource.h"

#include <string>

namespace common {

// Opens the file for reading, sharing reading only, when it holds exactly
// these bytes; empty otherwise (missing, different, or open for writing
// elsewhere).
UniqueFile HoldIfIdentical(const std::wstring& path, const void* data, size_t size);

// Writes a new file (an existing one is someone else's: failure) in one
// write, then holds it as above once it reads back as written.
UniqueFile WriteHeldFile(const std::wstring& path, const void* data, DWORD size);

}  // namespace common
