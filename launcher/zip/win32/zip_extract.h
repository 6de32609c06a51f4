#pragma once
// The ZIP reader as the launcher calls it: UTF-16 paths, Windows attributes
// and file times, and the routine that unpacks an archive beside itself.

#include "common/unique_resource.h"
#include "launcher/zip/core/zip_entry_stream.h"

#include <windows.h>

#include <string>
#include <vector>

namespace zip {

struct ZipEntryInfo {
    int index = 0;
    std::wstring name;          // as stored, whole; "/" separators; folders end in "/"
    DWORD attributes = 0;
    FILETIME lastAccessTime = {};
    FILETIME creationTime = {};
    FILETIME lastWriteTime = {};
    LONG compressedSize = 0;
    LONG uncompressedSize = 0;
};

struct ZipArchiveHandle;
using ZipHandle = ZipArchiveHandle*;

// Null when the file cannot be opened or is no archive the reader can read.
// The current folder at this moment is the root for relative paths.
ZipHandle OpenZipArchive(const wchar_t* path);
int GetZipEntry(ZipHandle handle, int index, ZipEntryInfo* info);
// Writes entry `index` to `destination` (a file path; for folder entries the
// folder is made below the root instead). Codes as in zip_codes.h.
int ExtractZipEntry(ZipHandle handle, int index, const wchar_t* destination);
int CloseZipArchive(ZipHandle handle);

// The entry name in UTF-16, whole: from UTF-8 when the entry says so, else
// from the ANSI code page. Empty when it cannot be converted.
std::wstring WideEntryName(const std::string& name, bool utf8);

// The form of `path` that the system takes at any length: paths the plain
// Win32 calls still accept come back unchanged, longer ones as "\?"
// absolute paths (relative ones resolved against the current folder).
std::wstring ExtendedLengthPath(const std::wstring& path);

// What the launcher's unpacking did, for callers that want to know.
struct ExtractionSummary {
    bool opened = false;
    int filesWritten = 0;      // ExtractZipEntry gave ZipOk
    int filesFailed = 0;       // any other result
    int entriesSkipped = 0;    // folders, and names that would leave the folder
    int stopResult = 0;        // the lookup that ended the walk
    DWORD firstError = 0;      // the system's error for a file that failed (ERROR_DISK_FULL, say); 0: none known
    // The files the caller asked to hold, in the order asked: written, read
    // back and left open for reading only, so nobody can change them until
    // the caller lets go. Empty where that name was not written.
    std::vector<common::UniqueFile> heldFiles;

    // Every entry was looked up and every file written.
    bool complete() const;
};

// Unpacks every file entry of the archive below the folder that holds it.
// Folder entries are skipped (folders come into being as parents of files),
// as are names that would leave the folder; the walk ends at the first
// entry that cannot be looked up, and nothing behind it is unpacked. The
// directory is read once; the files are written by `threads` threads (0:
// one per logical processor, at most 8), each reading the archive through
// its own handle. One thread writes them in archive order, as do more when
// two names would land on the same file.
// `road` StreamOnly is for measurements.
ExtractionSummary ExtractZipArchive(const std::wstring& archivePath, unsigned threads = 0,
                                    EntryRoad road = EntryRoad::WholeWhereItFits);

// The same for an archive in memory (a resource of the program's own),
// unpacked below `folder`. The entries named in `hold` ("/" or "\"
// separated, any letter case) come back in the summary's heldFiles.
ExtractionSummary ExtractZipArchiveFromMemory(const void* data, size_t size, const std::wstring& folder,
                                              const std::vector<std::wstring>& hold, unsigned threads = 0,
                                              EntryRoad road = EntryRoad::WholeWhereItFits);

}  // namespace zip
