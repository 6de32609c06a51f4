#pragma once
// Unpacking many entries at once. The caller's thread reads the central
// directory once (ListEntries); the entries' data is then streamed by worker
// threads, each with its own source, input buffer, inflate state and output
// chunk, and nothing bigger. Where an entry's bytes go is the caller's
// business (ZipEntryTarget): files at the edges, memory in the fuzzer.

#include "launcher/zip/core/zip_archive.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace zip {

constexpr unsigned kMaxExtractionThreads = 8;

struct ZipListedEntry {
    ZipEntryRecord record;
    ZipEntryData data;
};

// Looks up entries 0, 1, ... in order, as the sequential walk does, until
// the first lookup fails, and returns that lookup's code: ZipBadArgument at
// the index equal to the entry count is the regular end. Nothing behind a
// failed lookup is listed.
int ListEntries(ZipArchive& archive, std::vector<ZipListedEntry>* entries);

// Where the entries' bytes go. Both calls come from worker threads, once per
// item, never twice at the same time for one item.
class ZipEntryTarget {
public:
    virtual ~ZipEntryTarget() = default;
    // ZipOk and a sink for the item's bytes, or the item's code.
    virtual int OpenSink(size_t item, std::unique_ptr<ZipSink>* sink) = 0;
    // After the bytes went out (`written` as CopyEntryData answers): the
    // item's final code.
    virtual int CloseSink(size_t item, std::unique_ptr<ZipSink> sink, int written) = 0;
};

// A fresh source over the same archive for one worker; null when it cannot
// be opened.
using ZipSourceOpener = std::function<std::unique_ptr<ZipSource>()>;

// The folders a target has made, so that the files of one folder ask the
// system once. A folder is listed only once made: a thread that finds it
// listed writes into it at once. Two threads may both make it, harmlessly.
template <typename Path>
class MadeFolders {
public:
    template <typename Make>
    void Ensure(const Path& folder, Make make)
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (m_made.count(folder)) {
                return;
            }
        }
        make(folder);
        std::lock_guard<std::mutex> lock(m_lock);
        m_made.insert(folder);
    }

private:
    std::mutex m_lock;
    std::set<Path> m_made;
};

// min(logical processors, kMaxExtractionThreads, items), at least 1.
unsigned DefaultThreadCount(size_t items);

// Writes every item through `target` and returns each item's code, in item
// order. With one thread the items are written in order on the caller's
// thread. With more, the caller's thread works through `primary` and every
// other thread through a source of its own (a thread whose source cannot be
// opened leaves its share to the others); the largest entries start first,
// so that a big one does not run alone at the end.
std::vector<int> WriteEntries(const std::vector<ZipListedEntry>& items, unsigned threads, ZipSource& primary,
                              const ZipSourceOpener& openSource, ZipEntryTarget& target,
                              EntryRoad road = EntryRoad::WholeWhereItFits);

// True when two of the relative destinations ("/" or "\" separated) name the
// same file, or one names a file on the way to another: their result then
// depends on the order they are written in, so only the sequential order
// gives the sequential result. Empty and "." components, and trailing dots
// and blanks (which Windows drops), do not count; letter case does, so a
// caller on a case-blind file system folds it first.
bool HaveOverlappingDestinations(const std::vector<std::string>& relativePaths);

}  // namespace zip
