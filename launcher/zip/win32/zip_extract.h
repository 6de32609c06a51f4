#pragma once
// The ZIP reader as the launcher calls it: UTF-16 paths, Windows attributes
// and file times, and the routine that unpacks an archive beside itself.

#include <windows.h>

#include <string>

namespace zip {

struct ZipEntryInfo {
    int index;
    wchar_t name[260];          // as stored, "/" separators; folders end in "/"
    DWORD attributes;
    FILETIME lastAccessTime;
    FILETIME creationTime;
    FILETIME lastWriteTime;
    LONG compressedSize;
    LONG uncompressedSize;
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

// The entry name in UTF-16: from UTF-8 when the entry says so, else from the
// ANSI code page. Empty when it cannot be converted.
std::wstring WideEntryName(const std::string& name, bool utf8);

// What the launcher's unpacking did, for callers that want to know.
struct ExtractionSummary {
    bool opened = false;
    int filesWritten = 0;      // ExtractZipEntry gave ZipOk
    int filesFailed = 0;       // any other result
    int entriesSkipped = 0;    // folders, and names that would leave the folder
    int stopResult = 0;        // the lookup that ended the walk
};

// Unpacks every file entry of the archive below the folder that holds it.
// Folder entries are skipped (folders come into being as parents of files),
// as are names that would leave the folder; the walk ends at the first
// entry that cannot be looked up.
ExtractionSummary ExtractZipArchive(const std::wstring& archivePath);

}  // namespace zip
