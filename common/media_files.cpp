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

namespace {

MediaFileCheck CheckAndCopy(const MediaList& list, const std::wstring& folder, const std::wstring& relativePath,
                            const std::wstring* copyPath)
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
    UniqueFile copy;
    if (copyPath) {
        copy.reset(::CreateFileW(copyPath->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!copy) {
            check.problem = L"cannot be copied to " + *copyPath + L" (error " + std::to_wstring(::GetLastError()) + L")";
            return check;
        }
    }
    std::uint64_t size = 0;
    Sha256Digest digest = {};
    const bool read = HashOpenFile(file.get(), size, digest, copy ? copy.get() : INVALID_HANDLE_VALUE);
    const DWORD readError = ::GetLastError();
    const std::wstring difference = read ? DescribeDifference(*listed, size, digest) : std::wstring();
    if (copyPath) {
        // The system starts no file open for writing: closed, then held for
        // reading in a folder nobody else can change.
        copy.reset();
        if (read && difference.empty()) {
            file = OpenHeld(*copyPath, FILE_FLAG_OPEN_REPARSE_POINT);
        }
        if (!read || !difference.empty() || !file) {
            ::DeleteFileW(copyPath->c_str());
        }
    }
    if (!read) {
        check.problem = L"cannot be read or copied (error " + std::to_wstring(readError) + L")";
        return check;
    }
    if (!difference.empty()) {
        check.problem = difference;
        return check;
    }
    if (!file) {
        check.problem = L"its copy cannot be held (error " + std::to_wstring(::GetLastError()) + L")";
        return check;
    }
    check.held = std::move(file);
    return check;
}

}  // namespace

MediaFileCheck CheckMediaFile(const MediaList& list, const std::wstring& folder, const std::wstring& relativePath)
{
    return CheckAndCopy(list, folder, relativePath, nullptr);
}

MediaFileCheck CopyCheckedMediaFile(const MediaList& list, const std::wstring& folder, const std::wstring& relativePath,
                                    const std::wstring& copyPath)
{
    return CheckAndCopy(list, folder, relativePath, &copyPath);
}

}  // namespace common
