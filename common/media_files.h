#pragma once
// Media files checked against the program's own list before they are
// started or read, and held so that nobody can change them until then.

#include "common/media_list.h"
#include "common/unique_resource.h"

#include <optional>
#include <string>

namespace common {

// The list resource both programs may carry (RT_RCDATA).
constexpr WORD kMediaListResource = 4000;

// The program's list; nothing when it carries none. A list that cannot be
// read vouches for nothing: it gives an empty list.
std::optional<MediaList> LoadMediaList(HMODULE module);

struct MediaFileCheck {
    // Open for reading with read sharing only while the caller keeps it:
    // nobody can write, replace or delete the file. Empty when refused.
    UniqueFile held;
    // Why it was refused ("missing", "size 10 bytes instead of 12"); empty
    // when the file is the listed one. Callers say it "differs from the media".
    std::wstring problem;
    explicit operator bool() const { return held.valid(); }
};

// Opens folder\relativePath, hashes it once through that handle and keeps
// the handle when size and digest are the listed ones. A link is refused,
// since what it leads to could change behind the handle.
MediaFileCheck CheckMediaFile(const MediaList& list, const std::wstring& folder, const std::wstring& relativePath);

// The same, writing a copy to `copyPath` (created new, in a folder only
// administrators can change) in the one read that hashes the file; the
// check then holds the copy, and the media's file is let go. A copy that
// is not the listed file is deleted again.
MediaFileCheck CopyCheckedMediaFile(const MediaList& list, const std::wstring& folder, const std::wstring& relativePath,
                                    const std::wstring& copyPath);

}  // namespace common
