#pragma once
// What the reader reads from and writes to: a seekable byte source and a
// byte sink. Files, memory blocks and test doubles implement these.

#include <cstddef>
#include <cstdint>
#include <string>

namespace zip {

class ZipSource {
public:
    virtual ~ZipSource() = default;
    // Total size in bytes; false when it cannot be told.
    virtual bool Size(uint64_t* size) = 0;
    // Absolute position from the start of the source.
    virtual bool Seek(uint64_t position) = 0;
    // Reads up to `size` bytes at the current position; *read may come back
    // smaller at the end of the source. False on a failed read.
    virtual bool Read(void* buffer, size_t size, size_t* read) = 0;
};

class ZipSink {
public:
    virtual ~ZipSink() = default;
    // Writes all `size` bytes or fails.
    virtual bool Write(const void* data, size_t size) = 0;
};

// A source over bytes the caller keeps alive.
class MemorySource : public ZipSource {
public:
    MemorySource(const void* data, size_t size)
        : m_data(static_cast<const unsigned char*>(data)), m_size(size) {}

    bool Size(uint64_t* size) override;
    bool Seek(uint64_t position) override;
    bool Read(void* buffer, size_t size, size_t* read) override;

private:
    const unsigned char* m_data;
    size_t m_size;
    size_t m_position = 0;
};

// A sink that collects what it is given, up to an optional limit.
class MemorySink : public ZipSink {
public:
    explicit MemorySink(size_t limit = SIZE_MAX) : m_limit(limit) {}
    bool Write(const void* data, size_t size) override;
    const std::string& bytes() const { return m_bytes; }

private:
    std::string m_bytes;
    size_t m_limit;
};

}  // namespace zip
