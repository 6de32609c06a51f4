#pragma once
// The list of media files a signed program vouches for: the files beside it
// that it starts, reads or hands to Java, each with its size and SHA-256.
// The release command writes it into the program before signing, so the
// signature covers it; a program built without one behaves as it always did.
//
// The list is UTF-8 text, one file a line, fields separated by one blank:
//   <64 lower-case hex digits> <size in bytes> <path relative to the program's folder>
// Paths use "\" and come last, so they may hold blanks.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace common {

using Sha256Digest = std::array<unsigned char, 32>;

struct MediaFile {
    std::wstring path;  // relative, "\" separated
    std::uint64_t size = 0;
    Sha256Digest digest = {};
};

using MediaList = std::vector<MediaFile>;

// The list as written, or nothing when any line is malformed: a bad digest
// or size, an empty, absolute or climbing path ("..", a drive, "/").
std::optional<MediaList> ParseMediaList(const std::string& text);

// The entry for a relative path, compared ignoring ASCII letter case as the
// file system does; null when the list does not name it.
const MediaFile* FindMediaFile(const MediaList& list, const std::wstring& relativePath);

// The first entry whose path lies in the folder (e.g. L"JVM"); null when none.
const MediaFile* FirstMediaFileIn(const MediaList& list, const std::wstring& folder);

std::wstring HexDigest(const Sha256Digest& digest);

// What differs between the listed file and the one found, for logs and
// traces; empty when they are the same.
std::wstring DescribeDifference(const MediaFile& listed, std::uint64_t size, const Sha256Digest& digest);

}  // namespace common
