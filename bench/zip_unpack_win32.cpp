// zip-unpack.exe ARCHIVE [THREADS [stream]]: times the launcher's unpacking
// routine on one archive (for the benchmark under Wine; not a deliverable).
// THREADS 1 is the sequential walk, 0 or none the launcher's own choice;
// "stream" streams every entry through zlib, as before libdeflate.
#include "launcher/zip/core/zip_entry_stream.h"
#include "launcher/zip/win32/zip_extract.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: zip-unpack ARCHIVE [THREADS [stream]]\n");
        return 2;
    }
    const unsigned threads = argc >= 3 ? static_cast<unsigned>(std::wcstoul(argv[2], nullptr, 10)) : 0;
    const bool streamOnly = argc == 4 && std::wcscmp(argv[3], L"stream") == 0;
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    const zip::ExtractionSummary summary = zip::ExtractZipArchive(
        argv[1], threads, streamOnly ? zip::EntryRoad::StreamOnly : zip::EntryRoad::WholeWhereItFits);
    ::QueryPerformanceCounter(&end);
    const double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
    std::printf("wine: launcher unpacking (%s, %s): %d files written, %d failed, %d entries skipped in %.3f s\n",
                streamOnly ? "zlib stream" : "libdeflate whole entries",
                threads == 0 ? "default threads" : threads == 1 ? "1 thread" : "given threads", summary.filesWritten,
                summary.filesFailed, summary.entriesSkipped, seconds);
    return summary.opened && summary.filesFailed == 0 ? 0 : 1;
}
