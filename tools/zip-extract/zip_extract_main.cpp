// zip-extract [-s] [-j N] ARCHIVE DESTDIR: extracts every file entry the way the
// launcher does (folder entries skipped, the walk stops at the first entry
// that cannot be looked up), on Linux, from the same reader, with N threads
// (default: one per logical processor, at most 8; -j 1 writes the entries in
// archive order). -s streams every entry through zlib, as the reader did
// before it inflated whole entries with libdeflate (for comparisons). Exits
// 0 when every file entry was written; otherwise names each failure on
// stderr, in archive order whatever the thread count.

#include "launcher/zip/core/zip_archive.h"
#include "launcher/zip/core/zip_entry_stream.h"
#include "launcher/zip/core/zip_parallel.h"

#include <algorithm>
#include <climits>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace {

// Positioned reads on a descriptor, so that every worker can read the one
// open archive at its own position.
class FileSource : public zip::ZipSource {
public:
    FileSource(int fd, bool owned) : m_fd(fd), m_owned(owned) {}
    ~FileSource() override
    {
        if (m_map != nullptr) {
            ::munmap(const_cast<unsigned char*>(m_map), m_mapSize);
        }
        if (m_owned) {
            ::close(m_fd);
        }
    }

    bool Size(uint64_t* size) override
    {
        struct stat info;
        if (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            return false;
        }
        *size = static_cast<uint64_t>(info.st_size);
        return true;
    }
    bool Seek(uint64_t position) override
    {
        m_position = position;
        return true;
    }
    bool Read(void* buffer, size_t size, size_t* read) override
    {
        *read = 0;
        while (*read < size) {
            const ssize_t got = ::pread(m_fd, static_cast<char*>(buffer) + *read, size - *read,
                                        static_cast<off_t>(m_position + *read));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                return false;
            }
            if (got == 0) {
                break;
            }
            *read += static_cast<size_t>(got);
        }
        m_position += *read;
        return true;
    }

    // The whole archive mapped once, shared by nothing else: file pages,
    // not the process's own memory.
    const unsigned char* View(uint64_t position, size_t size) override
    {
        uint64_t fileSize = 0;
        if (!Size(&fileSize) || position > fileSize || size > fileSize - position) {
            return nullptr;
        }
        if (m_map == nullptr) {
            void* map = ::mmap(nullptr, static_cast<size_t>(fileSize), PROT_READ, MAP_PRIVATE, m_fd, 0);
            if (map == MAP_FAILED) {
                return nullptr;
            }
            m_map = static_cast<const unsigned char*>(map);
            m_mapSize = static_cast<size_t>(fileSize);
        }
        return position + size <= m_mapSize ? m_map + position : nullptr;
    }

private:
    int m_fd;
    bool m_owned;
    uint64_t m_position = 0;
    const unsigned char* m_map = nullptr;
    size_t m_mapSize = 0;
};

class FileSink : public zip::ZipSink {
public:
    explicit FileSink(int fd) : m_fd(fd) {}
    bool Write(const void* data, size_t size) override
    {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t put = ::write(m_fd, p, size);
            if (put < 0 && errno == EINTR) {
                continue;
            }
            if (put <= 0) {
                return false;
            }
            p += put;
            size -= static_cast<size_t>(put);
        }
        return true;
    }

    // The file grown to its final size and mapped.
    unsigned char* ReserveWhole(size_t size) override
    {
        if (::ftruncate(m_fd, static_cast<off_t>(size)) != 0) {
            return nullptr;
        }
        void* map = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, 0);
        if (map == MAP_FAILED) {
            FinishWhole(false);
            return nullptr;
        }
        m_map = static_cast<unsigned char*>(map);
        m_mapSize = size;
        return m_map;
    }
    bool FinishWhole(bool keep) override
    {
        if (m_map != nullptr) {
            ::munmap(m_map, m_mapSize);
            m_map = nullptr;
        }
        // Back to empty: nothing half inflated looks like a complete file.
        return keep || (::ftruncate(m_fd, 0) == 0 && ::lseek(m_fd, 0, SEEK_SET) == 0);
    }
    bool WritesAtOffsets() const override { return true; }
    bool WriteAt(uint64_t offset, const void* data, size_t size) override
    {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t put = ::pwrite(m_fd, p, size, static_cast<off_t>(offset));
            if (put < 0 && errno == EINTR) {
                continue;
            }
            if (put <= 0) {
                return false;
            }
            p += put;
            offset += static_cast<uint64_t>(put);
            size -= static_cast<size_t>(put);
        }
        return true;
    }

private:
    int m_fd;
    unsigned char* m_map = nullptr;
    size_t m_mapSize = 0;
};

// Every missing level of `path`; failures show up when the file is created.
void CreateFolders(const std::string& path)
{
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            ::mkdir(path.substr(0, i).c_str(), 0777);
        }
    }
}

struct timespec ToTimespec(uint64_t fileTime)
{
    struct timespec t;
    if (fileTime == 0) {
        t.tv_sec = 0;
        t.tv_nsec = UTIME_OMIT;
        return t;
    }
    const uint64_t unixTicks = fileTime - 116444736000000000ull;
    t.tv_sec = static_cast<time_t>(unixTicks / 10000000);
    t.tv_nsec = static_cast<long>(unixTicks % 10000000) * 100;
    return t;
}

std::string Message(const std::string& what, int code)
{
    return "zip-extract: " + what + ": " + zip::ZipResultName(code) + " (" + std::to_string(code) + ")\n";
}

// A component beyond what a file name may hold is the name's fault;
// otherwise the whole path is too long.
int TooLongCode(const std::string& path)
{
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            if (i - start > NAME_MAX) {
                return zip::ZipNameTooLong;
            }
            start = i + 1;
        }
    }
    return zip::ZipPathTooLong;
}

class FdSink : public FileSink {
public:
    explicit FdSink(int fd) : FileSink(fd), fd(fd) {}
    const int fd;
};

// Files below DESTDIR, parents made first (each folder asked for once);
// each item's failure text is kept for the report in archive order.
class FolderTarget : public zip::ZipEntryTarget {
public:
    FolderTarget(const std::vector<zip::ZipListedEntry>& items, const std::vector<std::string>& destinations)
        : m_items(items), m_destinations(destinations), notes(items.size()) {}

    int OpenSink(size_t item, std::unique_ptr<zip::ZipSink>* sink) override
    {
        const std::string& destination = m_destinations[item];
        m_folders.Ensure(destination.substr(0, destination.rfind('/')), CreateFolders);
        const int out = ::open(destination.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (out < 0) {
            const int code = errno == ENAMETOOLONG ? TooLongCode(destination) : zip::ZipCannotOpen;
            notes[item] = Message(Name(item) + ": " + std::strerror(errno), code);
            return code;
        }
        sink->reset(new FdSink(out));
        return zip::ZipOk;
    }

    int CloseSink(size_t item, std::unique_ptr<zip::ZipSink> sink, int written) override
    {
        const int out = static_cast<FdSink&>(*sink).fd;
        const zip::ZipEntryRecord& entry = m_items[item].record;
        if (written == zip::ZipOk || written == zip::ZipCrcMismatch) {
            const struct timespec times[2] = {ToTimespec(entry.times.lastAccess), ToTimespec(entry.times.lastWrite)};
            ::futimens(out, times);
        }
        if (entry.attributes & zip::kAttributeReadOnly) {
            ::fchmod(out, 0444);
        }
        if (::close(out) != 0 && written == zip::ZipOk) {
            written = zip::ZipWriteFailed;
        }
        if (written != zip::ZipOk) {
            notes[item] = Message(Name(item), written);
        }
        return written;
    }

private:
    const std::string& Name(size_t item) const { return m_items[item].record.name; }

    const std::vector<zip::ZipListedEntry>& m_items;
    const std::vector<std::string>& m_destinations;
    zip::MadeFolders<std::string> m_folders;

public:
    std::vector<std::string> notes;
};

int Usage()
{
    std::fprintf(stderr, "usage: zip-extract [-s] [-j THREADS] ARCHIVE DESTDIR\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    unsigned threads = 0;
    int first = 1;
    zip::EntryRoad road = zip::EntryRoad::WholeWhereItFits;
    if (argc >= 2 && std::strcmp(argv[1], "-s") == 0) {
        road = zip::EntryRoad::StreamOnly;
        first = 2;
    }
    if (argc >= first + 1 && std::strcmp(argv[first], "-j") == 0) {
        char* end = nullptr;
        const unsigned long count = argc >= first + 2 ? std::strtoul(argv[first + 1], &end, 10) : 0;
        if (end == nullptr || *end != '\0' || count < 1 || count > 1024) {
            return Usage();
        }
        threads = static_cast<unsigned>(count);
        first += 2;
    }
    if (argc - first != 2) {
        return Usage();
    }
    const std::string archivePath = argv[first];
    std::string folder = argv[first + 1];
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }

    const int fd = ::open(archivePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::fputs(Message(archivePath + ": " + std::strerror(errno), zip::ZipCannotOpen).c_str(), stderr);
        return 1;
    }
    std::unique_ptr<zip::ZipArchive> archive;
    const int opened = zip::ZipArchive::Open(std::make_unique<FileSource>(fd, true), &archive);
    if (opened != zip::ZipOk) {
        std::fputs(Message(archivePath, opened).c_str(), stderr);
        return 1;
    }
    CreateFolders(folder);

    // The directory once, in order; what cannot be written is known before
    // any thread starts, and every message keeps its entry's place.
    std::vector<zip::ZipListedEntry> listed;
    const int stop = zip::ListEntries(*archive, &listed);
    std::vector<std::string> skipped(listed.size());
    std::vector<size_t> itemOf(listed.size(), SIZE_MAX);
    std::vector<zip::ZipListedEntry> items;
    std::vector<std::string> destinations;
    for (size_t n = 0; n < listed.size(); ++n) {
        const zip::ZipEntryRecord& entry = listed[n].record;
        if (entry.isFolder()) {
            continue;
        }
        if (!zip::IsSafeEntryName(entry.name)) {
            skipped[n] = Message("entry " + std::to_string(entry.index) + " \"" + entry.name.c_str() + "\" skipped",
                                 zip::ZipUnsafeName);
            continue;
        }
        std::string relative = entry.name;
        std::replace(relative.begin(), relative.end(), '\\', '/');
        itemOf[n] = items.size();
        destinations.push_back(folder + "/" + relative);
        items.push_back(std::move(listed[n]));
    }
    if (threads == 0) {
        threads = zip::DefaultThreadCount(items.size());
    }
    // Below one folder, destinations overlap where their names do.
    if (zip::HaveOverlappingDestinations(destinations)) {
        threads = 1;
    }

    FolderTarget target(items, destinations);
    const std::vector<int> results = zip::WriteEntries(
        items, threads, archive->source(), [fd] { return std::make_unique<FileSource>(fd, false); }, target, road);

    bool failed = false;
    for (size_t n = 0; n < listed.size(); ++n) {
        const std::string& note = itemOf[n] == SIZE_MAX ? skipped[n] : target.notes[itemOf[n]];
        if (!note.empty()) {
            std::fputs(note.c_str(), stderr);
            failed = true;
        }
    }
    // The regular end is the lookup one past the last entry.
    if (!(stop == zip::ZipBadArgument && listed.size() == static_cast<size_t>(archive->entryCount()))) {
        std::fputs(Message("entry " + std::to_string(listed.size()), stop).c_str(), stderr);
        failed = true;
    }
    return failed ? 1 : 0;
}
