#pragma once
// The reader's source and sink over Windows file handles.

#include "common/unique_resource.h"
#include "launcher/zip/core/zip_stream.h"

#include <windows.h>

#include <string>

namespace zip {

// A file opened by path for reading, shared for reading only. Positions are
// counted from the file pointer at opening (0 for a file just opened);
// seeking fails when the file is not a disk file.
class FileSource : public ZipSource {
public:
    // False (last error set) when the file cannot be opened.
    bool Open(const std::wstring& path);

    bool Size(uint64_t* size) override;
    bool Seek(uint64_t position) override;
    bool Read(void* buffer, size_t size, size_t* read) override;
    // Through a read-only mapping of the file: file pages, not the
    // process's own memory.
    const unsigned char* View(uint64_t position, size_t size) override;

private:
    common::UniqueFile m_file;
    common::UniqueHandle m_mapping;
    common::UniqueMappedView m_view;
    static constexpr uint64_t kUnknownPosition = ~uint64_t(0);
    bool m_seekable = false;
    uint64_t m_startOffset = 0;
    uint64_t m_position = kUnknownPosition;   // relative to the start offset
};

// Writes to a handle the caller owns. Whole entries and pieces come from the
// reader's buffers through WriteFile: measured under Wine, a mapped view of
// the output was slower, and on NTFS it faults in every page of a new file
// and turns a full disk into an in-page error instead of an error code.
class FileSink : public ZipSink {
public:
    explicit FileSink(HANDLE file) : m_file(file) {}
    bool Write(const void* data, size_t size) override;
    bool FinishWhole(bool keep) override;
    bool WritesAtOffsets() const override { return true; }
    bool WriteAt(uint64_t offset, const void* data, size_t size) override;

private:
    HANDLE m_file;
};

}  // namespace zip
