#pragma once
// SHA-256 of an open file, by the system's own implementation (CryptoAPI in
// advapi32, one of the known system libraries).

#include "common/media_list.h"

#include <windows.h>

#include <cstdint>

namespace common {

// Reads the file through this handle from its start to its end, once, and
// hashes what it read; with `copy`, writes the same bytes there as it goes.
// False when reading, hashing or writing fails.
bool HashOpenFile(HANDLE file, std::uint64_t& size, Sha256Digest& digest, HANDLE copy = INVALID_HANDLE_VALUE);

}  // namespace common
