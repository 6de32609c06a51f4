// zip-extract ARCHIVE DESTDIR: extracts every file entry the way the
// launcher does (folder entries skipped, the walk stops at the first entry
// that cannot be looked up), on Linux, from the same reader. Exits 0 when
// every file entry was written; otherwise names each failure on stderr.

#include "launcher/zip/core/zip_archive.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

class FileSource : public zip::ZipSource {
public:
    explicit FileSource(int fd) : m_fd(fd) {}
    ~FileSource() override { ::close(m_fd); }

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
        // Entry data is read in order: most seeks land where the file already is.
        if (position == m_position) {
            return true;
        }
        if (::lseek(m_fd, static_cast<off_t>(position), SEEK_SET) == static_cast<off_t>(-1)) {
            m_position = kUnknown;
            return false;
        }
        m_position = position;
        return true;
    }
    bool Read(void* buffer, size_t size, size_t* read) override
    {
        *read = 0;
        while (*read < size) {
            const ssize_t got = ::read(m_fd, static_cast<char*>(buffer) + *read, size - *read);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                m_position = kUnknown;
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

private:
    static constexpr uint64_t kUnknown = ~uint64_t(0);
    int m_fd;
    uint64_t m_position = kUnknown;
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

private:
    int m_fd;
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

void Report(const std::string& what, int code)
{
    std::fprintf(stderr, "zip-extract: %s: %s (%d)\n", what.c_str(), zip::ZipResultName(code), code);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: zip-extract ARCHIVE DESTDIR\n");
        return 2;
    }
    const std::string archivePath = argv[1];
    std::string folder = argv[2];
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }

    const int fd = ::open(archivePath.c_str(), O_RDONLY);
    if (fd < 0) {
        Report(archivePath + ": " + std::strerror(errno), zip::ZipCannotOpen);
        return 1;
    }
    std::unique_ptr<zip::ZipArchive> archive;
    const int opened = zip::ZipArchive::Open(std::make_unique<FileSource>(fd), &archive);
    if (opened != zip::ZipOk) {
        Report(archivePath, opened);
        return 1;
    }
    CreateFolders(folder);

    bool failed = false;
    for (int index = 0;; ++index) {
        zip::ZipEntryRecord entry;
        const int lookup = archive->GetEntry(index, &entry);
        if (lookup != zip::ZipOk) {
            // The regular end is the lookup one past the last entry.
            if (!(lookup == zip::ZipBadArgument && index == archive->entryCount())) {
                Report("entry " + std::to_string(index), lookup);
                failed = true;
            }
            break;
        }
        if (entry.isFolder()) {
            continue;
        }
        if (!zip::IsSafeEntryName(entry.name)) {
            Report("entry " + std::to_string(index) + " \"" + entry.name.c_str() + "\" skipped", zip::ZipUnsafeName);
            failed = true;
            continue;
        }
        std::string relative = entry.name;
        for (char& c : relative) {
            if (c == '\\') {
                c = '/';
            }
        }
        const std::string destination = folder + "/" + relative;
        const size_t slash = destination.rfind('/');
        CreateFolders(destination.substr(0, slash));
        const int out = ::open(destination.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (out < 0) {
            Report(entry.name + ": " + std::strerror(errno), zip::ZipCannotOpen);
            failed = true;
            continue;
        }
        FileSink sink(out);
        const int written = archive->WriteEntry(index, sink);
        if (written == zip::ZipOk || written == zip::ZipCrcMismatch) {
            const struct timespec times[2] = {ToTimespec(entry.times.lastAccess), ToTimespec(entry.times.lastWrite)};
            ::futimens(out, times);
        }
        if (entry.attributes & zip::kAttributeReadOnly) {
            ::fchmod(out, 0444);
        }
        if (::close(out) != 0 && written == zip::ZipOk) {
            Report(entry.name, zip::ZipWriteFailed);
            failed = true;
        }
        if (written != zip::ZipOk) {
            Report(entry.name, written);
            failed = true;
        }
    }
    return failed ? 1 : 0;
}
