#include "launcher/zip/core/zip_parallel.h"

#include "launcher/zip/core/zip_format.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_set>

namespace zip {

namespace {

// The path as its components would reach the file system.
std::vector<std::string> PathComponents(const std::string& path)
{
    std::vector<std::string> components;
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !IsSeparator(path[i])) {
            continue;
        }
        std::string component = path.substr(start, i - start);
        while (!component.empty() && (component.back() == '.' || component.back() == ' ')) {
            component.pop_back();
        }
        if (!component.empty()) {
            components.push_back(std::move(component));
        }
        start = i + 1;
    }
    return components;
}

}  // namespace

int ListEntries(ZipArchive& archive, std::vector<ZipListedEntry>* entries)
{
    entries->clear();
    for (int index = 0;; ++index) {
        ZipListedEntry entry;
        const int lookup = archive.GetEntry(index, &entry.record, &entry.data);
        if (lookup != ZipOk) {
            return lookup;
        }
        entries->push_back(std::move(entry));
    }
}

unsigned DefaultThreadCount(size_t items)
{
    const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
    return static_cast<unsigned>(std::max<size_t>(1, std::min<size_t>({processors, kMaxExtractionThreads, items})));
}

namespace {

// An entry whose pieces several threads inflate: the first to come opens
// its sink, each writes its piece at the piece's offset, the last to finish
// checks the whole and closes the sink.
struct SharedEntry {
    std::mutex lock;
    bool opened = false;
    int openResult = ZipOk;
    bool byOneThread = false;    // the sink cannot take pieces out of order
    std::unique_ptr<ZipSink> sink;
    size_t unfinished = 0;
    bool inflateFailed = false;
    bool writeFailed = false;
    std::vector<uint32_t> crcs;
};

// One unit of work: a whole entry, or one piece of a shared one.
struct WorkItem {
    size_t entry;
    size_t piece;
    uint32_t compressedSize;
};

}  // namespace

std::vector<int> WriteEntries(const std::vector<ZipListedEntry>& items, unsigned threads, ZipSource& primary,
                              const ZipSourceOpener& openSource, ZipEntryTarget& target, EntryRoad road)
{
    std::vector<int> results(items.size(), ZipOk);
    auto writeOne = [&](size_t item, ZipSource& source, ZipThreadBuffers& buffers) {
        std::unique_ptr<ZipSink> sink;
        int result = target.OpenSink(item, &sink);
        if (result == ZipOk) {
            const int written = CopyEntryData(&source, items[item].data, *sink, buffers, road);
            result = target.CloseSink(item, std::move(sink), written);
        }
        results[item] = result;
    };

    threads = static_cast<unsigned>(std::min<size_t>(std::min(threads, kMaxExtractionThreads), items.size()));
    if (threads <= 1) {
        ZipThreadBuffers buffers;
        for (size_t item = 0; item < items.size(); ++item) {
            writeOne(item, primary, buffers);
        }
        return results;
    }

    // Entries with a piece table are spread over the threads piece by piece.
    std::vector<std::unique_ptr<SharedEntry>> shared(items.size());
    std::vector<WorkItem> work;
    for (size_t item = 0; item < items.size(); ++item) {
        const std::vector<EntryPiece>& pieces = items[item].data.pieces;
        if (road == EntryRoad::StreamOnly || pieces.empty()) {
            work.push_back({item, 0, items[item].data.compressedSize});
            continue;
        }
        shared[item].reset(new SharedEntry);
        shared[item]->unfinished = pieces.size();
        shared[item]->crcs.resize(pieces.size());
        for (size_t piece = 0; piece < pieces.size(); ++piece) {
            work.push_back({item, piece, pieces[piece].compressedSize});
        }
    }
    // The largest first, so that a big one does not run alone at the end.
    std::stable_sort(work.begin(), work.end(),
                     [](const WorkItem& a, const WorkItem& b) { return a.compressedSize > b.compressedSize; });

    auto writePiece = [&](const WorkItem& unit, ZipSource& source, ZipThreadBuffers& buffers) {
        SharedEntry& entry = *shared[unit.entry];
        const ZipEntryData& data = items[unit.entry].data;
        bool opener = false;
        {
            std::lock_guard<std::mutex> lock(entry.lock);
            if (!entry.opened) {
                entry.opened = opener = true;
                entry.openResult = target.OpenSink(unit.entry, &entry.sink);
                entry.byOneThread = entry.openResult == ZipOk && !entry.sink->WritesAtOffsets();
                if (entry.openResult != ZipOk) {
                    results[unit.entry] = entry.openResult;
                }
            }
            if (entry.openResult != ZipOk || (entry.byOneThread && !opener)) {
                return;
            }
        }
        if (entry.byOneThread) {
            // The opener writes it all, in order; the other pieces find it taken.
            const int written = CopyEntryData(&source, data, *entry.sink, buffers, road);
            results[unit.entry] = target.CloseSink(unit.entry, std::move(entry.sink), written);
            return;
        }
        const EntryPiece& piece = data.pieces[unit.piece];
        uint32_t crc = 0;
        const bool inflated = InflatePiece(&source, data, piece, buffers, &crc);
        const bool written =
            inflated && entry.sink->WriteAt(piece.uncompressedOffset, buffers.inflated(), piece.uncompressedSize);
        std::lock_guard<std::mutex> lock(entry.lock);
        entry.crcs[unit.piece] = crc;
        entry.inflateFailed |= !inflated;
        entry.writeFailed |= inflated && !written;
        if (--entry.unfinished > 0) {
            return;
        }
        int result = ZipOk;
        if (entry.writeFailed) {
            result = ZipWriteFailed;
        } else if (entry.inflateFailed || CombinedCrc(data.pieces, entry.crcs) != data.crc32) {
            // The pieces did not come to the entry: what the stream says is the result.
            result = entry.sink->FinishWhole(false) ? StreamEntryData(&source, data, *entry.sink, buffers)
                                                    : ZipWriteFailed;
        }
        results[unit.entry] = target.CloseSink(unit.entry, std::move(entry.sink), result);
    };

    std::atomic<size_t> next(0);
    auto workThrough = [&](ZipSource& source) {
        ZipThreadBuffers buffers;
        for (size_t taken = next++; taken < work.size(); taken = next++) {
            if (shared[work[taken].entry]) {
                writePiece(work[taken], source, buffers);
            } else {
                writeOne(work[taken].entry, source, buffers);
            }
        }
    };

    std::vector<std::thread> workers;
    for (unsigned n = 1; n < threads; ++n) {
        try {
            workers.emplace_back([&] {
                const std::unique_ptr<ZipSource> own = openSource ? openSource() : nullptr;
                if (own) {
                    workThrough(*own);
                }
            });
        } catch (const std::system_error&) {
            break;   // no more threads: the ones running share the rest
        }
    }
    workThrough(primary);
    for (std::thread& worker : workers) {
        worker.join();
    }
    return results;
}

bool HaveOverlappingDestinations(const std::vector<std::string>& relativePaths)
{
    // Hashes, not the paths: the listing of a large archive stays small. A
    // collision can only make two paths look alike, which costs speed (one
    // thread), never a result.
    std::unordered_set<size_t> files;
    std::unordered_set<size_t> folders;
    const std::hash<std::string> hash;
    for (const std::string& path : relativePaths) {
        std::string key;
        const std::vector<std::string> components = PathComponents(path);
        for (size_t i = 0; i < components.size(); ++i) {
            if (i > 0) {
                key += '/';
            }
            key += components[i];
            if (i + 1 < components.size()) {
                folders.insert(hash(key));
            }
        }
        if (!files.insert(hash(key)).second) {
            return true;
        }
    }
    for (const size_t folder : folders) {
        if (files.count(folder)) {
            return true;
        }
    }
    return false;
}

}  // namespace zip
