// libFuzzer target: any byte buffer is opened as an archive and every entry
// looked up and extracted into memory, in order and out of order; then the
// parallel driver unpacks the listed entries with two threads, and each
// entry's code and bytes must be what the sequential walk gives. Sinks are
// bounded, so a declared size cannot make the harness itself run out of
// memory; the reader must never read or write out of bounds, race, hang or
// crash, nor accept a directory its end record does not describe.
#include "launcher/zip/core/zip_archive.h"
#include "launcher/zip/core/zip_parallel.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kMaxEntries = 64;
constexpr size_t kSinkLimit = 1 << 16;

class MemoryTarget : public zip::ZipEntryTarget {
public:
    explicit MemoryTarget(size_t items) : outputs(items) {}

    int OpenSink(size_t, std::unique_ptr<zip::ZipSink>* sink) override
    {
        sink->reset(new zip::MemorySink(kSinkLimit));
        return zip::ZipOk;
    }
    int CloseSink(size_t item, std::unique_ptr<zip::ZipSink> sink, int written) override
    {
        outputs[item] = static_cast<zip::MemorySink&>(*sink).bytes();
        return written;
    }

    std::vector<std::string> outputs;
};

// Walked here apart from the reader: an archive it accepts has its end
// record at the input's last end signature, its directory right before that
// record, and exactly as many headers as both counts say, filling the
// directory's stated size.
bool DirectoryFitsEndRecord(const uint8_t* data, size_t size, int entryCount)
{
    const size_t endAt = std::string_view(reinterpret_cast<const char*>(data), size).rfind("PK\x05\x06");
    zip::EndRecord end;
    if (endAt == std::string_view::npos || size - endAt < zip::kEndRecordSize || !zip::ParseEndRecord(data + endAt, &end) ||
        end.centralDirectorySize > endAt) {
        return false;
    }
    size_t at = endAt - end.centralDirectorySize;
    int headers = 0;
    for (zip::CentralHeader header; at + zip::kCentralHeaderSize <= endAt && zip::ParseCentralHeader(data + at, &header);
         ++headers) {
        at += zip::CentralRecordSize(header);
    }
    return at == endAt && headers == end.totalEntries && headers == end.entriesOnThisDisk && headers == entryCount;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::unique_ptr<zip::ZipArchive> archive;
    if (zip::ZipArchive::Open(std::make_unique<zip::MemorySource>(data, size), &archive) != zip::ZipOk) {
        return 0;
    }
    if (!DirectoryFitsEndRecord(data, size, archive->entryCount())) {
        std::abort();   // accepted a directory its end record does not describe
    }
    zip::ZipEntryRecord record;
    archive->GetEntry(-1, &record);
    // The walk the launcher makes: lookups in order up to the first failure.
    std::vector<zip::ZipListedEntry> listed;
    zip::ListEntries(*archive, &listed);
    if (listed.size() > kMaxEntries) {
        listed.resize(kMaxEntries);
    }
    std::vector<std::string> names;
    std::vector<int> sequentialResults;
    std::vector<std::string> sequentialBytes;
    for (const zip::ZipListedEntry& entry : listed) {
        names.push_back(entry.record.name);
        zip::IsSafeEntryName(entry.record.name);
        zip::MemorySink sink(kSinkLimit);
        sequentialResults.push_back(archive->WriteEntry(entry.record.index, sink));
        sequentialBytes.push_back(sink.bytes());
    }
    zip::HaveOverlappingDestinations(names);
    // Whole-entry and piece inflates (libdeflate, taken above where they
    // apply) and the zlib stream must come to the same code and the same
    // bytes; only a sink that fills up holds what each road got written.
    zip::ZipThreadBuffers buffer;
    for (size_t item = 0; item < listed.size(); ++item) {
        zip::MemorySource source(data, size);
        zip::MemorySink sink(kSinkLimit);
        const int streamed = zip::StreamEntryData(&source, listed[item].data, sink, buffer);
        if (streamed != sequentialResults[item] ||
            (streamed != zip::ZipWriteFailed && sink.bytes() != sequentialBytes[item])) {
            std::abort();
        }
    }
    // Backwards, which restarts the directory walk.
    for (int index = static_cast<int>(listed.size()) - 1; index >= 0; index -= 3) {
        zip::MemorySink sink(kSinkLimit);
        archive->WriteEntry(index, sink);
    }

    MemoryTarget target(listed.size());
    const std::vector<int> results = zip::WriteEntries(
        listed, 2, archive->source(), [&] { return std::make_unique<zip::MemorySource>(data, size); }, target);
    for (size_t item = 0; item < listed.size(); ++item) {
        if (results[item] != sequentialResults[item] || target.outputs[item] != sequentialBytes[item]) {
            std::abort();   // the parallel driver must not change any result
        }
    }
    return 0;
}
