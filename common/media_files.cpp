#include "common/media_files.h"

#include "common/file_digest.h"
#include "common/held_file.h"
#include "common/resource_data.h"

namespace common {

std::optional<MediaList> LoadMediaList(HMODULE module)
{
    const ResourceBytes resource = FindResourceBytes(module, MAKEINTRESOURCEW(kMediaListResource), RT_RCDATA);
    if (!resource) {
        return std::nullopt;
    }
    auto list = ParseMediaList(std::string(static_cast<const char*>(resource.data), resource.size));
    return list ? std::move(*list) : MediaList();
}

MediaFileCheck CheckMediaFile(const MediaList& list, const std::wstring& folder, const std::wstring& relativePath)
{
    MediaFileCheck check;
    const MediaFile* listed = FindMediaFile(list, relativePath);
    if (listed == nullptr) {
        check.problem = L"not on the media's list";
        return check;
    }
    const std::wstring path = folder + L"\\" + relativePath;
    UniqueFile file = OpenHeld(path, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN);
    if (!file) {
        const DWORD error = ::GetLastError();
        check.problem = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                            ? L"missing"
                            : L"cannot be opened with read sharing only (error " + std::to_wstring(error) + L")";
        return check;
    }
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!::GetFileInformationByHandle(file.get(), &information) ||
        (information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        check.problem = L"a link or a folder, not a file";
        return check;
    }
    std::uint64_t size = 0;
    Sha256Digest digest = {};
    if (!HashOpenFile(file.get(), size, digest)) {
        check.problem = L"cannot be read (error " + std::to_wstring(::GetLastError()) + L")";
        return check;
    }
    const std::wstring difference = DescribeDifference(*listed, size, digest);
    if (!difference.empty()) {
        check.problem = difference;
        return check;
    }
    check.held = std::move(file);
    return check;
}

}  // namespace common
