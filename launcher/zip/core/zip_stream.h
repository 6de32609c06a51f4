#pragma once
// What the reader reads from and writes to: a seekable byte source and a
// byte sink. Files, memory blocks and test doubles implement these.

#include <cstddef>
#include <cstdint>
#include <mutex>
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
    // The `size` bytes at `position` in memory, valid until the next call or
    // the source's end; null when the source cannot show them so (then the
    // caller reads them).
    virtual const unsigned char* View(uint64_t /*position*/, size_t /*size*/) { return nullptr; }
};

class ZipSink {
public:
    virtual ~ZipSink() = default;
    // Writes all `size` bytes or fails.
    virtual bool Write(const void* data, size_t size) = 0;
    // The whole output at once: `size` writable bytes (size > 0) that become
    // the sink's content, or null when the sink cannot give them (then
    // Write is used). Nothing may be written before.
    virtual unsigned char* ReserveWhole(size_t /*size*/) { return nullptr; }
    // Ends a reservation: the bytes are kept, or dropped as if the sink had
    // never been written (keep: false). False when keeping failed.
    // Also drops whatever Write or WriteAt put in, and writing starts again
    // at the beginning.
    virtual bool FinishWhole(bool /*keep*/) { return false; }
    // Sinks that take bytes at any offset, from several threads at once, so
    // that the pieces of one entry can be written as they come.
    virtual bool WritesAtOffsets() const { return false; }
    virtual bool WriteAt(uint64_t /*offset*/, const void* /*data*/, size_t /*size*/) { return false; }
};

// A source over bytes the caller keeps alive.
class MemorySource : public ZipSource {
public:
    MemorySource(const void* data, size_t size)
        : m_data(static_cast<const unsigned char*>(data)), m_size(size) {}

    bool Size(uint64_t* size) override;
    bool Seek(uint64_t position) override;
    bool Read(void* buffer, size_t size, size_t* read) override;
    const unsigned char* View(uint64_t position, size_t size) override;

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
    unsigned char* ReserveWhole(size_t size) override;
    bool FinishWhole(bool keep) override;
    bool WritesAtOffsets() const override { return true; }
    bool WriteAt(uint64_t offset, const void* data, size_t size) override;
    const std::string& bytes() const { return m_bytes; }

private:
    std::mutex m_lock;   // WriteAt's callers
    std::string m_bytes;
    size_t m_limit;
};

}  // namespace zip
