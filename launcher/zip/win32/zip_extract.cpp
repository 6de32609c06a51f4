#include "launcher/zip/win32/zip_extract.h"

#include "common/held_file.h"
#include "common/paths.h"
#include "common/text_conversion.h"
#include "common/unique_resource.h"
#include "launcher/zip/core/zip_archive.h"
#include "launcher/zip/core/zip_parallel.h"
#include "launcher/zip/win32/zip_file_streams.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

namespace zip {

struct ZipArchiveHandle {
    std::unique_ptr<ZipArchive> archive;
    std::wstring rootFolder;   // with a trailing "\"
};

namespace {

// CreateDirectoryW refuses plain paths from MAX_PATH - 12 characters on,
// where a folder could no longer hold an 8.3 name; files take up to 259.
constexpr size_t kPlainFolderPathLimit = MAX_PATH - 12;
constexpr size_t kMaxComponentChars = 255;
// What the system takes at all, "\\?\" form included.
constexpr size_t kMaxExtendedPathChars = 32767;

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

void CreateFolder(const std::wstring& path)
{
    if (path.size() < kPlainFolderPathLimit) {
        ::CreateDirectoryW(path.c_str(), nullptr);
    } else {
        ::CreateDirectoryW(ExtendedLengthPath(path).c_str(), nullptr);
    }
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
    CreateFolder(root + relative);
}

// Every missing level of an absolute folder path.
void CreateFolderChain(const std::wstring& folder)
{
    for (size_t i = 0; i < folder.size(); ++i) {
        // Skip the drive root ("C:\") and the server part of a UNC path.
        if (folder[i] == L'\\' && i > 0 && folder[i - 1] != L':' && folder[i - 1] != L'\\') {
            CreateFolder(folder.substr(0, i));
        }
    }
    CreateFolder(folder);
}

// A file or folder name beyond the 255 characters file systems hold.
bool HasOverlongComponent(const std::wstring& path)
{
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || IsSeparator(path[i])) {
            if (i - start > kMaxComponentChars) {
                return true;
            }
            start = i + 1;
        }
    }
    return false;
}

// The output file, created with the entry's attributes: ZipOk, or why not.
int CreateOutputFile(const std::wstring& path, uint32_t attributes, common::UniqueFile* file)
{
    const std::wstring systemPath = ExtendedLengthPath(path);
    if (systemPath.size() > kMaxExtendedPathChars) {
        return ZipPathTooLong;
    }
    file->reset(::CreateFileW(systemPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes,
                              nullptr));
    if (file->valid()) {
        return ZipOk;
    }
    // A name the file system cannot hold; systems differ in the error they give.
    return ::GetLastError() == ERROR_FILENAME_EXCED_RANGE || HasOverlongComponent(path) ? ZipNameTooLong
                                                                                       : ZipCannotOpen;
}

// The entry's times on a complete file (a CRC mismatch still delivered every
// byte); skipped for what is not a disk file.
void SetEntryTimes(HANDLE file, const ZipEntryRecord& record, int written)
{
    if ((written == ZipOk || written == ZipCrcMismatch) && ::GetFileType(file) == FILE_TYPE_DISK) {
        const FILETIME creation = ToFileTime(record.times.creation);
        const FILETIME lastAccess = ToFileTime(record.times.lastAccess);
        const FILETIME lastWrite = ToFileTime(record.times.lastWrite);
        ::SetFileTime(file, &creation, &lastAccess, &lastWrite);
    }
}

// A sink that owns its output file; for a file to be held it keeps a copy
// of the bytes, to check the file against once it is open for reading only.
class OutputFileSink : public FileSink {
public:
    OutputFileSink(common::UniqueFile file, bool keepCopy)
        : FileSink(file.get()), m_file(std::move(file)), m_keepCopy(keepCopy) {}
    bool Write(const void* data, size_t size) override
    {
        if (m_keepCopy) {
            m_copy.append(static_cast<const char*>(data), size);
        }
        return FileSink::Write(data, size);
    }
    bool FinishWhole(bool keep) override
    {
        if (!keep) {
            m_copy.clear();
        }
        return FileSink::FinishWhole(keep);
    }
    // The copy is made in order.
    bool WritesAtOffsets() const override { return !m_keepCopy; }
    HANDLE handle() const { return m_file.get(); }
    void Close() { m_file.reset(); }
    const std::string& copy() const { return m_copy; }

private:
    common::UniqueFile m_file;
    bool m_keepCopy;
    std::string m_copy;
};

// The launcher's destinations: each file below the archive's folder, its
// parent folders made first. Folders already made are remembered, since
// every file of a folder would otherwise ask the system again.
class FolderTarget : public ZipEntryTarget {
public:
    FolderTarget(const std::vector<ZipListedEntry>& items, const std::vector<std::wstring>& destinations,
                 const std::vector<bool>& held)
        : m_items(items), m_destinations(destinations), m_hold(held), m_held(items.size()) {}

    int OpenSink(size_t item, std::unique_ptr<ZipSink>* sink) override
    {
        const std::wstring& destination = m_destinations[item];
        m_folders.Ensure(destination.substr(0, destination.rfind(L'\\')), CreateFolderChain);
        common::UniqueFile file;
        const int created = CreateOutputFile(destination, m_items[item].record.attributes, &file);
        if (created != ZipOk) {
            NoteError();
            return created;
        }
        sink->reset(new OutputFileSink(std::move(file), m_hold[item]));
        return ZipOk;
    }

    int CloseSink(size_t item, std::unique_ptr<ZipSink> sink, int written) override
    {
        auto& output = static_cast<OutputFileSink&>(*sink);
        if (written != ZipOk && written != ZipCrcMismatch) {
            NoteError();
        }
        SetEntryTimes(output.handle(), m_items[item].record, written);
        if (!m_hold[item] || written != ZipOk) {
            return written;
        }
        // Between this close and the open for reading someone could swap
        // the file: what is held must read back as written.
        output.Close();
        m_held[item] = common::HoldIfIdentical(ExtendedLengthPath(m_destinations[item]), output.copy().data(),
                                               output.copy().size());
        return m_held[item] ? ZipOk : ZipWriteFailed;
    }

    common::UniqueFile TakeHeld(size_t item) { return std::move(m_held[item]); }
    DWORD FirstError() const { return m_firstError; }

private:
    // The failing call's error, still this thread's last one.
    void NoteError()
    {
        DWORD none = 0;
        m_firstError.compare_exchange_strong(none, ::GetLastError());
    }

    const std::vector<ZipListedEntry>& m_items;
    const std::vector<std::wstring>& m_destinations;
    const std::vector<bool>& m_hold;
    std::vector<common::UniqueFile> m_held;  // one slot per item, each written by one thread
    MadeFolders<std::wstring> m_folders;
    std::atomic<DWORD> m_firstError{0};
};

// The name as the file system compares it: letter case folded, UTF-8.
std::string DestinationKey(std::wstring name)
{
    if (!name.empty()) {
        ::CharUpperBuffW(&name[0], static_cast<DWORD>(name.size()));
    }
    return common::Utf8FromWide(name);
}

}  // namespace

std::wstring WideEntryName(const std::string& name, bool utf8)
{
    if (name.empty()) {
        return std::wstring();
    }
    return common::WideFromBytes(name, utf8 ? CP_UTF8 : CP_ACP);
}

std::wstring ExtendedLengthPath(const std::wstring& path)
{
    if (path.size() < kPlainFolderPathLimit || path.compare(0, 4, L"\\\\?\\") == 0) {
        return path;
    }
    // "\\?\" paths are taken as they are: make the path absolute and
    // canonical ("\" only, no "." steps) first.
    const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return path;
    }
    std::wstring full(size, L'\0');
    const DWORD length = ::GetFullPathNameW(path.c_str(), size, &full[0], nullptr);
    if (length == 0 || length >= size) {
        return path;
    }
    full.resize(length);
    if (full.compare(0, 2, L"\\\\") == 0) {
        return L"\\\\?\\UNC\\" + full.substr(2);
    }
    return L"\\\\?\\" + full;
}

ZipHandle OpenZipArchive(const wchar_t* path)
{
    if (path == nullptr) {
        return nullptr;
    }
    const std::wstring current = common::CurrentFolder();
    auto source = std::make_unique<FileSource>();
    if (!source->Open(ExtendedLengthPath(path))) {
        return nullptr;
    }
    auto handle = std::make_unique<ZipArchiveHandle>();
    if (ZipArchive::Open(std::move(source), &handle->archive) != ZipOk) {
        return nullptr;
    }
    if (!current.empty()) {
        handle->rootFolder = current;
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
    *info = ZipEntryInfo();
    info->index = record.index;
    info->name = WideEntryName(record.name, record.utf8Name);
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
        if (root.size() + folder.size() > kMaxExtendedPathChars) {
            return ZipPathTooLong;
        }
        CreateFoldersBelowRoot(root, folder);
        return ZipOk;
    }

    if (destination == nullptr) {
        return ZipBadArgument;
    }
    const std::wstring target = destination;
    const size_t separator = LastSeparator(target);
    if (separator != std::wstring::npos && separator > 0) {
        const std::wstring folder = target.substr(0, separator);
        // Only relative folders that stay below the root are made here.
        if (IsRelativePath(folder) && !HasParentStep(folder)) {
            if (root.size() + folder.size() > kMaxExtendedPathChars) {
                return ZipPathTooLong;
            }
            CreateFoldersBelowRoot(root, folder);
        }
    }

    common::UniqueFile output;
    const int created = CreateOutputFile(target, record.attributes, &output);
    if (created != ZipOk) {
        return created;
    }
    FileSink sink(output.get());
    const int written = handle->archive->WriteEntry(index, sink);
    SetEntryTimes(output.get(), record, written);
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

bool ExtractionSummary::complete() const
{
    // ZipBadArgument at the index after the last entry is the walk's regular end.
    return opened && filesFailed == 0 && stopResult == ZipBadArgument;
}

namespace {

// Unpacks the opened archive below `folder`; `openSource` gives each further
// thread a source of its own.
ExtractionSummary ExtractInto(ZipArchive& archive, const ZipSourceOpener& openSource, const std::wstring& folder,
                              const std::vector<std::wstring>& hold, unsigned threads, EntryRoad road)
{
    ExtractionSummary summary;
    summary.opened = true;
    summary.heldFiles.resize(hold.size());
    std::vector<std::string> holdKeys;
    for (const std::wstring& name : hold) {
        holdKeys.push_back(DestinationKey(WithBackslashes(name)));
    }

    std::vector<ZipListedEntry> listed;
    summary.stopResult = ListEntries(archive, &listed);
    std::vector<ZipListedEntry> items;
    std::vector<std::wstring> destinations;
    std::vector<std::string> keys;
    for (ZipListedEntry& entry : listed) {
        // With administrator rights, a name that leaves the folder could
        // replace any file on the machine.
        if (entry.record.isFolder() || !IsSafeEntryName(entry.record.name)) {
            ++summary.entriesSkipped;
            continue;
        }
        const std::wstring name = WithBackslashes(WideEntryName(entry.record.name, entry.record.utf8Name));
        if (name.empty()) {
            ++summary.filesFailed;
            continue;
        }
        destinations.push_back(folder + L"\\" + name);
        keys.push_back(DestinationKey(name));
        items.push_back(std::move(entry));
    }
    std::vector<bool> held(items.size(), false);
    for (size_t item = 0; item < items.size(); ++item) {
        held[item] = std::find(holdKeys.begin(), holdKeys.end(), keys[item]) != holdKeys.end();
    }
    if (threads == 0) {
        threads = DefaultThreadCount(items.size());
    }
    if (HaveOverlappingDestinations(keys)) {
        threads = 1;
    }

    FolderTarget target(items, destinations, held);
    const std::vector<int> results = WriteEntries(items, threads, archive.source(), openSource, target, road);
    for (size_t item = 0; item < items.size(); ++item) {
        if (results[item] == ZipOk) {
            ++summary.filesWritten;
        } else {
            ++summary.filesFailed;
        }
        if (held[item]) {
            // A name stored twice: the later entry is the file on disk.
            const size_t slot = static_cast<size_t>(
                std::find(holdKeys.begin(), holdKeys.end(), keys[item]) - holdKeys.begin());
            summary.heldFiles[slot] = target.TakeHeld(item);
        }
    }
    summary.firstError = target.FirstError();
    return summary;
}

}  // namespace

ExtractionSummary ExtractZipArchive(const std::wstring& archivePath, unsigned threads, EntryRoad road)
{
    const size_t separator = archivePath.rfind(L'\\');
    const std::wstring folder = separator == std::wstring::npos ? std::wstring() : archivePath.substr(0, separator);
    std::unique_ptr<ZipArchiveHandle> handle(OpenZipArchive(archivePath.c_str()));
    if (!handle) {
        return ExtractionSummary();
    }
    const std::wstring sourcePath = ExtendedLengthPath(archivePath);
    const ZipSourceOpener openSource = [&sourcePath]() -> std::unique_ptr<ZipSource> {
        auto source = std::make_unique<FileSource>();
        return source->Open(sourcePath) ? std::move(source) : nullptr;
    };
    return ExtractInto(*handle->archive, openSource, folder, {}, threads, road);
}

ExtractionSummary ExtractZipArchiveFromMemory(const void* data, size_t size, const std::wstring& folder,
                                              const std::vector<std::wstring>& hold, unsigned threads,
                                              EntryRoad road)
{
    std::unique_ptr<ZipArchive> archive;
    if (data == nullptr || ZipArchive::Open(std::make_unique<MemorySource>(data, size), &archive) != ZipOk) {
        return ExtractionSummary();
    }
    const ZipSourceOpener openSource = [data, size]() -> std::unique_ptr<ZipSource> {
        return std::make_unique<MemorySource>(data, size);
    };
    return ExtractInto(*archive, openSource, folder, hold, threads, road);
}

}  // namespace zip
