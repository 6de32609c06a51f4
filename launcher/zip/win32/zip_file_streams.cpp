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

bool FileSink::Write(const void* data, size_t size)
{
    DWORD written = 0;
    return ::WriteFile(m_file, data, static_cast<DWORD>(size), &written, nullptr) && written == size;
}

}  // namespace zip
