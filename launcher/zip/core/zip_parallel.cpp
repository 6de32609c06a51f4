#include "launcher/zip/core/zip_parallel.h"

#include "launcher/zip/core/zip_format.h"

#include <algorithm>
#include <atomic>
#include <numeric>
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

std::vector<int> WriteEntries(const std::vector<ZipListedEntry>& items, unsigned threads, ZipSource& primary,
                              const ZipSourceOpener& openSource, ZipEntryTarget& target, EntryRoad road)
{
    std::vector<int> results(items.size(), ZipOk);
    auto writeOne = [&](size_t item, ZipSource& source, ZipOutputBuffer& buffer) {
        std::unique_ptr<ZipSink> sink;
        int result = target.OpenSink(item, &sink);
        if (result == ZipOk) {
            const int written = CopyEntryData(&source, items[item].data, *sink, buffer, road);
            result = target.CloseSink(item, std::move(sink), written);
        }
        results[item] = result;
    };

    threads = static_cast<unsigned>(std::min<size_t>(std::min(threads, kMaxExtractionThreads), items.size()));
    if (threads <= 1) {
        ZipOutputBuffer buffer;
        for (size_t item = 0; item < items.size(); ++item) {
            writeOne(item, primary, buffer);
        }
        return results;
    }

    std::vector<size_t> order(items.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return items[a].data.compressedSize > items[b].data.compressedSize;
    });
    std::atomic<size_t> next(0);
    auto work = [&](ZipSource& source) {
        ZipOutputBuffer buffer;
        for (size_t taken = next++; taken < order.size(); taken = next++) {
            writeOne(order[taken], source, buffer);
        }
    };

    std::vector<std::thread> workers;
    for (unsigned n = 1; n < threads; ++n) {
        try {
            workers.emplace_back([&] {
                const std::unique_ptr<ZipSource> own = openSource ? openSource() : nullptr;
                if (own) {
                    work(*own);
                }
            });
        } catch (const std::system_error&) {
            break;   // no more threads: the ones running share the rest
        }
    }
    work(primary);
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
