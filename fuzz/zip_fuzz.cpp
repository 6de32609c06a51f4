// libFuzzer target: any byte buffer is opened as an archive and every entry
// looked up and extracted into memory, in order and out of order. The sink
// is bounded, so a declared size cannot make the harness itself run out of
// memory; the reader must never read or write out of bounds, hang or crash.
#include "launcher/zip/core/zip_archive.h"

#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::unique_ptr<zip::ZipArchive> archive;
    if (zip::ZipArchive::Open(std::make_unique<zip::MemorySource>(data, size), &archive) != zip::ZipOk) {
        return 0;
    }
    zip::ZipEntryRecord record;
    archive->GetEntry(-1, &record);
    const int count = archive->entryCount() < 64 ? archive->entryCount() : 64;
    for (int index = 0; index < count; ++index) {
        if (archive->GetEntry(index, &record) != zip::ZipOk) {
            break;
        }
        zip::IsSafeEntryName(record.name);
        zip::MemorySink sink(1 << 20);
        archive->WriteEntry(index, sink);
    }
    // Backwards, which restarts the directory walk.
    for (int index = count - 1; index >= 0; index -= 3) {
        zip::MemorySink sink(1 << 16);
        archive->WriteEntry(index, sink);
    }
    return 0;
}
