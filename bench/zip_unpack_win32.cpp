// zip-unpack.exe ROAD ARCHIVE FOLDER THREADS: times one way of unpacking an
// archive into FOLDER (for the benchmark under Wine; not a deliverable).
// THREADS 0 is the launcher's own choice, 1 the sequential walk.
//   memory  the launcher's routine over the archive read into memory first,
//           as it unpacks its resource
//   file    the same routine reading the archive file (copied into FOLDER)
//   stream  from memory, every entry through the zlib stream
//   floor   every file inflated into memory first; then only what any
//           unpacker must do is timed: the folders, and per file CreateFileW,
//           one WriteFile, SetFileTime, CloseHandle
// Prints one line: "zip-unpack: ROAD THREADS SECONDS WRITTEN FAILED" (files).
#include "common/unique_resource.h"
#include "launcher/zip/core/zip_parallel.h"
#include "launcher/zip/win32/zip_extract.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

namespace {

double Seconds(const LARGE_INTEGER& start)
{
    LARGE_INTEGER frequency, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&end);
    return double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

bool ReadWholeFile(const wchar_t* path, std::string* bytes)
{
    common::UniqueFile file(
        ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (!file || !::GetFileSizeEx(file.get(), &size)) {
        return false;
    }
    bytes->resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    return ::ReadFile(file.get(), &(*bytes)[0], static_cast<DWORD>(bytes->size()), &got, nullptr) &&
           got == bytes->size();
}

struct FloorFile {
    std::wstring path;
    std::string bytes;
    FILETIME lastWrite;
};

// Inflates every file entry into memory (not timed).
bool InflateAll(const std::string& archiveBytes, const std::wstring& folder, std::vector<FloorFile>* files)
{
    std::unique_ptr<zip::ZipArchive> archive;
    if (zip::ZipArchive::Open(std::make_unique<zip::MemorySource>(archiveBytes.data(), archiveBytes.size()),
                              &archive) != zip::ZipOk) {
        return false;
    }
    std::vector<zip::ZipListedEntry> entries;
    zip::ListEntries(*archive, &entries);
    for (const zip::ZipListedEntry& entry : entries) {
        if (entry.record.isFolder()) {
            continue;
        }
        zip::MemorySink sink;
        if (archive->WriteEntry(entry.record.index, sink) != zip::ZipOk) {
            return false;
        }
        std::wstring name = zip::WideEntryName(entry.record.name, entry.record.utf8Name);
        std::replace(name.begin(), name.end(), L'/', L'\\');
        FILETIME lastWrite;
        lastWrite.dwLowDateTime = static_cast<DWORD>(entry.record.times.lastWrite & 0xFFFFFFFF);
        lastWrite.dwHighDateTime = static_cast<DWORD>(entry.record.times.lastWrite >> 32);
        files->push_back({folder + L"\\" + name, sink.bytes(), lastWrite});
    }
    return true;
}

void CreateParents(const std::wstring& path)
{
    for (size_t i = path.find(L'\\', 3); i != std::wstring::npos; i = path.find(L'\\', i + 1)) {
        ::CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
    }
}

// The floor: what writing these files costs at the least, largest first on
// `threads` threads.
bool WriteFloor(const std::vector<FloorFile>& files, unsigned threads)
{
    std::vector<std::wstring> folders;
    for (const FloorFile& file : files) {
        folders.push_back(file.path.substr(0, file.path.rfind(L'\\')));
    }
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    for (const std::wstring& folder : folders) {
        CreateParents(folder + L"\\");
    }
    std::vector<size_t> order(files.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return files[a].bytes.size() > files[b].bytes.size(); });
    std::atomic<size_t> next(0);
    std::atomic<bool> failed(false);
    auto work = [&] {
        for (size_t taken = next++; taken < order.size(); taken = next++) {
            const FloorFile& file = files[order[taken]];
            common::UniqueFile output(::CreateFileW(file.path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                    FILE_ATTRIBUTE_NORMAL, nullptr));
            DWORD written = 0;
            if (!output || !::WriteFile(output.get(), file.bytes.data(), static_cast<DWORD>(file.bytes.size()),
                                        &written, nullptr) ||
                written != file.bytes.size() || !::SetFileTime(output.get(), nullptr, nullptr, &file.lastWrite)) {
                failed = true;
            }
        }
    };
    std::vector<std::thread> workers;
    for (unsigned n = 1; n < threads; ++n) {
        workers.emplace_back(work);
    }
    work();
    for (std::thread& worker : workers) {
        worker.join();
    }
    return !failed;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: zip-unpack memory|file|stream|floor ARCHIVE FOLDER THREADS\n");
        return 2;
    }
    const std::wstring road = argv[1];
    const std::wstring folder = argv[3];
    unsigned threads = static_cast<unsigned>(std::wcstoul(argv[4], nullptr, 10));
    std::string archiveBytes;
    if (road != L"file" && !ReadWholeFile(argv[2], &archiveBytes)) {
        std::fprintf(stderr, "zip-unpack: cannot read the archive\n");
        return 1;
    }
    LARGE_INTEGER start;
    int files = 0;
    int failed = 0;
    bool ok = false;
    if (road == L"floor") {
        std::vector<FloorFile> inflated;
        if (!InflateAll(archiveBytes, folder, &inflated)) {
            std::fprintf(stderr, "zip-unpack: cannot inflate the archive\n");
            return 1;
        }
        if (threads == 0) {
            threads = zip::DefaultThreadCount(inflated.size());
        }
        ::QueryPerformanceCounter(&start);
        ok = WriteFloor(inflated, threads);
        files = static_cast<int>(inflated.size());
    } else {
        zip::ExtractionSummary summary;
        if (road == L"file") {
            const std::wstring copy = folder + L"\\BundledJVM.zip";
            if (!::CopyFileW(argv[2], copy.c_str(), FALSE)) {
                std::fprintf(stderr, "zip-unpack: cannot copy the archive\n");
                return 1;
            }
            ::QueryPerformanceCounter(&start);
            summary = zip::ExtractZipArchive(copy, threads);
        } else if (road == L"memory" || road == L"stream") {
            ::QueryPerformanceCounter(&start);
            summary = zip::ExtractZipArchiveFromMemory(
                archiveBytes.data(), archiveBytes.size(), folder, {}, threads,
                road == L"stream" ? zip::EntryRoad::StreamOnly : zip::EntryRoad::WholeWhereItFits);
        } else {
            std::fprintf(stderr, "zip-unpack: no road \"%ls\"\n", road.c_str());
            return 2;
        }
        ok = summary.complete();
        files = summary.filesWritten;
        failed = summary.filesFailed;
    }
    const double seconds = Seconds(start);
    std::printf("zip-unpack: %ls %u %.3f %d %d\n", road.c_str(), threads, seconds, files, failed);
    return ok ? 0 : 1;
}
