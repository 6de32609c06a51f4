#pragma once
// Program files written by an elevated program and then started: between
// the write and the start nobody else may change them. A handle that shares
// reading only keeps every writer and deleter out, and the system can still
// start the file.

#include "common/unique_resource.h"

#include <string>

namespace common {

// Opens an existing file for reading, sharing reading only: while the handle
// lives nobody can write, replace or delete the file, and the system can
// still start it. Empty when it cannot be opened so.
UniqueFile OpenHeld(const std::wstring& path, DWORD flags = FILE_ATTRIBUTE_NORMAL);

// Opens the file for reading, sharing reading only, when it holds exactly
// these bytes; empty otherwise (missing, different, or open for writing
// elsewhere).
UniqueFile HoldIfIdentical(const std::wstring& path, const void* data, size_t size);

// Writes a new file (an existing one is someone else's: failure) in one
// write, then holds it as above once it reads back as written.
UniqueFile WriteHeldFile(const std::wstring& path, const void* data, DWORD size);

// A name can be pointed elsewhere between the check of a held file and the
// start of its process, so a process is created suspended and its program
// image compared with the held file before it runs a single instruction.
constexpr DWORD kImageNotTheHeldFile = ERROR_FILE_INVALID;

// True when the process's program image is the file behind `held`: the file
// now found at the image's name has the held file's volume and file index
// (while the held file is open, nobody can rename it or a folder above it).
bool ProcessImageIsFile(HANDLE process, HANDLE held);

// Resumes a process created with CREATE_SUSPENDED when `held` is null or
// its image is that file; otherwise ends it and fails with
// kImageNotTheHeldFile (or the system's error when resuming failed).
bool ResumeIfImageIsHeld(HANDLE process, HANDLE thread, HANDLE held);

}  // namespace common
