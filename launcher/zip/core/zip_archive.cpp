#include "launcher/zip/core/zip_archive.h"

#include <vector>

namespace zip {

int ZipArchive::Open(std::unique_ptr<ZipSource> source, std::unique_ptr<ZipArchive>* archive)
{
    archive->reset();
    if (!source) {
        return ZipBadArgument;
    }
    std::unique_ptr<ZipArchive> opened(new ZipArchive(std::move(source)));
    const int result = opened->m_reader.Open(opened->m_source.get());
    if (result != ZipOk) {
        return result;
    }
    *archive = std::move(opened);
    return ZipOk;
}

int ZipArchive::GetEntry(int index, ZipEntryRecord* record, ZipEntryData* data)
{
    if (index < -1 || index >= entryCount()) {
        return ZipBadArgument;
    }
    if (index == -1) {
        *record = ZipEntryRecord();
        record->index = entryCount();
        return ZipOk;
    }
    if (index != m_cachedIndex) {
        ZipEntryRecord found;
        ZipEntryData foundData;
        const int result = LookUp(index, &found, &foundData);
        if (result != ZipOk) {
            return result;
        }
        m_cached = std::move(found);
        m_cachedData = foundData;
        m_cachedIndex = index;
    }
    *record = m_cached;
    if (data != nullptr) {
        *data = m_cachedData;
    }
    return ZipOk;
}

int ZipArchive::LookUp(int index, ZipEntryRecord* record, ZipEntryData* data)
{
    int result = m_reader.GoToEntry(index);
    if (result != ZipOk) {
        return result;
    }
    result = m_reader.ReadCurrentName(&record->name);
    if (result != ZipOk) {
        return result;
    }
    const CentralHeader& header = m_reader.current();
    if (NeedsZip64(header) || (header.flags & kFlagEncrypted)) {
        return ZipUnsupported;
    }
    LocalLayout layout;
    const int local = m_reader.CheckLocalHeader(&layout);
    if (local != ZipOk) {
        return local == ZipUnsupported ? ZipUnsupported : ZipInconsistent;
    }
    std::vector<unsigned char> extra(layout.extraLength);
    if (!extra.empty() && m_reader.ReadAt(layout.extraPosition, extra.data(), extra.size()) != ZipOk) {
        return ZipReadFailed;
    }
    record->index = index;
    record->utf8Name = (header.flags & kFlagUtf8Name) != 0;
    record->attributes = AttributesFromExternal(header.externalAttributes);
    // Some tools (jar among them) leave folder entries without attributes;
    // the trailing "/" still says what they are.
    if (!record->name.empty() && record->name.back() == '/') {
        record->attributes |= kAttributeDirectory;
    }
    record->times = TimesFromExtra(header.dosDateTime, extra.data(), extra.size());
    record->compressedSize = static_cast<int32_t>(header.compressedSize);
    record->uncompressedSize = static_cast<int32_t>(header.uncompressedSize);
    *data = m_reader.CurrentEntryData(layout);
    if (data->method == kMethodDeflated) {
        data->pieces = PiecesFromExtra(extra.data(), extra.size(), data->compressedSize, data->uncompressedSize);
    }
    return ZipOk;
}

int ZipArchive::WriteEntry(int index, ZipSink& sink)
{
    ZipEntryRecord record;
    ZipEntryData data;
    const int lookup = GetEntry(index, &record, &data);
    if (lookup != ZipOk) {
        return lookup;
    }
    if (index < 0) {
        return ZipBadArgument;
    }
    return CopyEntryData(m_source.get(), data, sink, m_buffers);
}

}  // namespace zip
