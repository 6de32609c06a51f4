#include "launcher/zip/core/zip_stream.h"

#include <algorithm>
#include <cstring>

namespace zip {

bool MemorySource::Size(uint64_t* size)
{
    *size = m_size;
    return true;
}

bool MemorySource::Seek(uint64_t position)
{
    if (position > m_size) {
        return false;
    }
    m_position = static_cast<size_t>(position);
    return true;
}

bool MemorySource::Read(void* buffer, size_t size, size_t* read)
{
    *read = std::min(size, m_size - m_position);
    if (*read > 0) {
        std::memcpy(buffer, m_data + m_position, *read);
    }
    m_position += *read;
    return true;
}

const unsigned char* MemorySource::View(uint64_t position, size_t size)
{
    return position <= m_size && size <= m_size - position ? m_data + position : nullptr;
}

bool MemorySink::Write(const void* data, size_t size)
{
    if (size > m_limit - m_bytes.size()) {
        return false;
    }
    m_bytes.append(static_cast<const char*>(data), size);
    return true;
}

unsigned char* MemorySink::ReserveWhole(size_t size)
{
    if (size == 0 || size > m_limit || !m_bytes.empty()) {
        return nullptr;
    }
    m_bytes.resize(size);
    return reinterpret_cast<unsigned char*>(&m_bytes[0]);
}

bool MemorySink::WriteAt(uint64_t offset, const void* data, size_t size)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (offset > m_limit || size > m_limit - offset) {
        return false;
    }
    const size_t end = static_cast<size_t>(offset) + size;
    if (end > m_bytes.size()) {
        m_bytes.resize(end);
    }
    std::memcpy(&m_bytes[static_cast<size_t>(offset)], data, size);
    return true;
}

bool MemorySink::FinishWhole(bool keep)
{
    if (!keep) {
        m_bytes.clear();
    }
    return true;
}

}  // namespace zip
