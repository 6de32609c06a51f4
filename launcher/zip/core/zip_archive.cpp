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

int ZipArchive::GetEntry(int index, ZipEntryRecord* record)
{
    if (index < -1 || index >= entryCount()) {
        return ZipBadArgument;
    }
    if (m_reader.entryDataOpen()) {
        m_reader.CloseEntryData();
    }
    if (index == -1) {
        *record = ZipEntryRecord();
        record->index = entryCount();
        return ZipOk;
    }
    if (index == m_cachedIndex) {
        *record = m_cached;
        return ZipOk;
    }
    ZipEntryRecord found;
    const int result = LookUp(index, &found);
    if (result != ZipOk) {
        return result;
    }
    m_cached = found;
    m_cachedIndex = index;
    *record = std::move(found);
    return ZipOk;
}

int ZipArchive::LookUp(int index, ZipEntryRecord* record)
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
    return ZipOk;
}

int ZipArchive::WriteEntry(int index, ZipSink& sink)
{
    ZipEntryRecord record;
    const int lookup = GetEntry(index, &record);
    if (lookup != ZipOk) {
        return lookup;
    }
    if (index < 0) {
        return ZipBadArgument;
    }
    // The lookup may have been answered from the cache; the cursor must
    // stand on the entry all the same.
    if (m_reader.GoToEntry(index) != ZipOk || m_reader.OpenEntryData() != ZipOk) {
        return ZipWriteFailed;
    }
    if (m_outputBuffer.empty()) {
        m_outputBuffer.resize(kOutputChunkSize);
    }
    bool failed = false;
    for (;;) {
        const int count = m_reader.ReadEntryData(m_outputBuffer.data(), m_outputBuffer.size());
        if (count < 0 || (count > 0 && !sink.Write(m_outputBuffer.data(), static_cast<size_t>(count)))) {
            failed = true;
            break;
        }
        if (count == 0) {
            break;
        }
    }
    const int verdict = m_reader.CloseEntryData();
    if (failed) {
        return ZipWriteFailed;
    }
    return verdict;
}

}  // namespace zip
