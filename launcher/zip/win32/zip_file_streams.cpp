#include "launcher/zip/win32/zip_file_streams.h"

namespace zip {

bool FileSource::Open(const std::wstring& path)
{
    m_file.reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_file) {
        return false;
    }
    m_seekable = ::GetFileType(m_file.get()) == FILE_TYPE_DISK;
    LARGE_INTEGER zero = {};
    LARGE_INTEGER start = {};
    if (m_seekable && ::SetFilePointerEx(m_file.get(), zero, &start, FILE_CURRENT)) {
        m_startOffset = static_cast<uint64_t>(start.QuadPart);
    }
    return true;
}

bool FileSource::Size(uint64_t* size)
{
    LARGE_INTEGER fileSize;
    if (!m_seekable || !::GetFileSizeEx(m_file.get(), &fileSize) ||
        static_cast<uint64_t>(fileSize.QuadPart) < m_startOffset) {
        return false;
    }
    *size = static_cast<uint64_t>(fileSize.QuadPart) - m_startOffset;
    return true;
}

bool FileSource::Seek(uint64_t position)
{
    if (!m_seekable) {
        return false;
    }
    // Entry data is read in order: most seeks land where the file already is.
    if (position == m_position) {
        return true;
    }
    LARGE_INTEGER target;
    target.QuadPart = static_cast<LONGLONG>(position + m_startOffset);
    if (!::SetFilePointerEx(m_file.get(), target, nullptr, FILE_BEGIN)) {
        m_position = kUnknownPosition;
        return false;
    }
    m_position = position;
    return true;
}

bool FileSource::Read(void* buffer, size_t size, size_t* read)
{
    DWORD got = 0;
    const BOOL ok = ::ReadFile(m_file.get(), buffer, static_cast<DWORD>(size), &got, nullptr);
    *read = got;
    m_position = ok ? m_position + got : kUnknownPosition;
    return ok != FALSE;
}

const unsigned char* FileSource::View(uint64_t position, size_t size)
{
    uint64_t fileSize = 0;
    if (size == 0 || !Size(&fileSize) || position > fileSize || size > fileSize - position) {
        return nullptr;
    }
    if (!m_mapping) {
        m_mapping.reset(::CreateFileMappingW(m_file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
        if (!m_mapping) {
            return nullptr;
        }
    }
    SYSTEM_INFO system = {};
    ::GetSystemInfo(&system);
    // Views start at a multiple of the allocation granularity.
    const uint64_t absolute = position + m_startOffset;
    const uint64_t start = absolute - absolute % system.dwAllocationGranularity;
    const size_t lead = static_cast<size_t>(absolute - start);
    m_view.reset(::MapViewOfFile(m_mapping.get(), FILE_MAP_READ, static_cast<DWORD>(start >> 32),
                                 static_cast<DWORD>(start & 0xFFFFFFFF), lead + size));
    return m_view ? static_cast<const unsigned char*>(m_view.get()) + lead : nullptr;
}

bool FileSink::FinishWhole(bool keep)
{
    if (keep) {
        return true;
    }
    // Back to empty, so that nothing half written looks like a complete
    // file, and the next write goes to the start.
    LARGE_INTEGER start = {};
    return ::SetFilePointerEx(m_file, start, nullptr, FILE_BEGIN) && ::SetEndOfFile(m_file);
}

bool FileSink::Write(const void* data, size_t size)
{
    DWORD written = 0;
    return ::WriteFile(m_file, data, static_cast<DWORD>(size), &written, nullptr) && written == size;
}

bool FileSink::WriteAt(uint64_t offset, const void* data, size_t size)
{
    // A handle opened for synchronous I/O takes a position per write, and
    // the system serialises writes from several threads.
    OVERLAPPED position = {};
    position.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD written = 0;
    return ::WriteFile(m_file, data, static_cast<DWORD>(size), &written, &position) && written == size;
}

}  // namespace zip
