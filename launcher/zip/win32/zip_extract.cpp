#include "launcher/zip/win32/zip_extract.h"

#include "common/unique_resource.h"
#include "launcher/zip/core/zip_archive.h"
#include "launcher/zip/win32/zip_file_streams.h"

#include <algorithm>
#include <cwchar>
#include <memory>

namespace zip {

struct ZipArchiveHandle {
    std::unique_ptr<ZipArchive> archive;
    std::wstring rootFolder;   // with a trailing "\"
};

namespace {

constexpr size_t kLauncherPathChars = 1040;

FILETIME ToFileTime(uint64_t ticks)
{
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFF);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

std::wstring WithBackslashes(std::wstring path)
{
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

// Creates `relative` and its missing parents below the root; failures (a
// folder that exists, say) are left for the file creation to show.
void CreateFoldersBelowRoot(const std::wstring& root, const std::wstring& relative)
{
    if (relative.empty()) {
        return;
    }
    const size_t separator = LastSeparator(relative);
    if (separator != std::wstring::npos) {
        CreateFoldersBelowRoot(root, relative.substr(0, separator));
    }
    ::CreateDirectoryW((root + relative).c_str(), nullptr);
}

// Every missing level of an absolute folder path.
void CreateFolderChain(const std::wstring& folder)
{
    for (size_t i = 0; i < folder.size(); ++i) {
        // Skip the drive root ("C:\") and the server part of a UNC path.
        if (folder[i] == L'\\' && i > 0 && folder[i - 1] != L':' && folder[i - 1] != L'\\') {
            ::CreateDirectoryW(folder.substr(0, i).c_str(), nullptr);
        }
    }
    ::CreateDirectoryW(folder.c_str(), nullptr);
}

}  // namespace

std::wstring WideEntryName(const std::string& name, bool utf8)
{
    if (name.empty() || name.size() > kMaxNameBytes) {
        return std::wstring();
    }
    wchar_t buffer[kMaxNameBytes + 1];
    const int length = ::MultiByteToWideChar(utf8 ? CP_UTF8 : CP_ACP, 0, name.data(), static_cast<int>(name.size()),
                                             buffer, static_cast<int>(kMaxNameBytes));
    return std::wstring(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

ZipHandle OpenZipArchive(const wchar_t* path)
{
    if (path == nullptr) {
        return nullptr;
    }
    wchar_t current[MAX_PATH] = {};
    const DWORD currentLength = ::GetCurrentDirectoryW(MAX_PATH, current);
    auto source = std::make_unique<FileSource>();
    if (!source->Open(path)) {
        return nullptr;
    }
    auto handle = std::make_unique<ZipArchiveHandle>();
    if (ZipArchive::Open(std::move(source), &handle->archive) != ZipOk) {
        return nullptr;
    }
    if (currentLength > 0 && currentLength < MAX_PATH) {
        handle->rootFolder.assign(current, currentLength);
        if (handle->rootFolder.back() != L'\\') {
            handle->rootFolder += L'\\';
        }
    }
    return handle.release();
}

int GetZipEntry(ZipHandle handle, int index, ZipEntryInfo* info)
{
    if (handle == nullptr || info == nullptr) {
        return ZipBadArgument;
    }
    ZipEntryRecord record;
    const int result = handle->archive->GetEntry(index, &record);
    if (result != ZipOk) {
        return result;
    }
    ZeroMemory(info, sizeof *info);
    info->index = record.index;
    const std::wstring name = WideEntryName(record.name, record.utf8Name);
    std::copy(name.begin(), name.end(), info->name);
    info->name[name.size()] = L'\0';
    info->attributes = record.attributes;
    info->lastAccessTime = ToFileTime(record.times.lastAccess);
    info->creationTime = ToFileTime(record.times.creation);
    info->lastWriteTime = ToFileTime(record.times.lastWrite);
    info->compressedSize = record.compressedSize;
    info->uncompressedSize = record.uncompressedSize;
    return ZipOk;
}

int ExtractZipEntry(ZipHandle handle, int index, const wchar_t* destination)
{
    if (handle == nullptr || index < 0 || index >= handle->archive->entryCount()) {
        return ZipBadArgument;
    }
    ZipEntryRecord record;
    const int lookup = handle->archive->GetEntry(index, &record);
    if (lookup != ZipOk) {
        return lookup;
    }
    const std::wstring& root = handle->rootFolder;

    if (record.isFolder()) {
        if (!IsSafeEntryName(record.name)) {
            return ZipUnsafeName;
        }
        const std::wstring folder = WithBackslashes(WideEntryName(record.name, record.utf8Name));
        if (root.size() + folder.size() > kMaxPathChars) {
            return ZipPathTooLong;
        }
        CreateFoldersBelowRoot(root, folder);
        return ZipOk;
    }

    if (destination == nullptr) {
        return ZipBadArgument;
    }
    const std::wstring target = destination;
    if (target.size() > kMaxPathChars) {
        return ZipPathTooLong;
    }
    const size_t separator = LastSeparator(target);
    if (separator != std::wstring::npos && separator > 0) {
        const std::wstring folder = target.substr(0, separator);
        // Only relative folders that stay below the root are made here.
        if (IsRelativePath(folder) && !HasParentStep(folder)) {
            if (root.size() + folder.size() > kMaxPathChars) {
                return ZipPathTooLong;
            }
            CreateFoldersBelowRoot(root, folder);
        }
    }

    common::UniqueFile output(::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            record.attributes, nullptr));
    if (!output) {
        return ZipCannotOpen;
    }
    FileSink sink(output.get());
    const int written = handle->archive->WriteEntry(index, sink);
    // A CRC mismatch still delivered every byte: the file is complete as stored.
    if ((written == ZipOk || written == ZipCrcMismatch) && ::GetFileType(output.get()) == FILE_TYPE_DISK) {
        const FILETIME creation = ToFileTime(record.times.creation);
        const FILETIME lastAccess = ToFileTime(record.times.lastAccess);
        const FILETIME lastWrite = ToFileTime(record.times.lastWrite);
        ::SetFileTime(output.get(), &creation, &lastAccess, &lastWrite);
    }
    return written;
}

int CloseZipArchive(ZipHandle handle)
{
    if (handle == nullptr) {
        return ZipBadArgument;
    }
    delete handle;
    return ZipOk;
}

ExtractionSummary ExtractZipArchive(const std::wstring& archivePath)
{
    ExtractionSummary summary;
    const size_t separator = archivePath.rfind(L'\\');
    const std::wstring folder = separator == std::wstring::npos ? std::wstring() : archivePath.substr(0, separator);
    ZipHandle handle = OpenZipArchive(archivePath.c_str());
    if (handle == nullptr) {
        return summary;
    }
    summary.opened = true;
    for (int index = 0;; ++index) {
        ZipEntryRecord record;
        const int lookup = handle->archive->GetEntry(index, &record);
        if (lookup != ZipOk) {
            summary.stopResult = lookup;
            break;
        }
        // With administrator rights, a name that leaves the folder could
        // replace any file on the machine.
        if (record.isFolder() || !IsSafeEntryName(record.name)) {
            ++summary.entriesSkipped;
            continue;
        }
        const std::wstring name = WideEntryName(record.name, record.utf8Name);
        const std::wstring destination = folder + L"\\" + WithBackslashes(name);
        if (name.empty() || destination.size() >= kLauncherPathChars) {
            ++summary.filesFailed;
            continue;
        }
        CreateFolderChain(destination.substr(0, destination.rfind(L'\\')));
        if (ExtractZipEntry(handle, index, destination.c_str()) == ZipOk) {
            ++summary.filesWritten;
        } else {
            ++summary.filesFailed;
        }
    }
    CloseZipArchive(handle);
    return summary;
}

}  // namespace zip
