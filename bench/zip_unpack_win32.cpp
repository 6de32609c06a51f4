// zip-unpack.exe ARCHIVE: times the launcher's unpacking routine on one
// archive (for the benchmark under Wine; not a deliverable).
#include "launcher/zip/win32/zip_extract.h"

#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: zip-unpack ARCHIVE\n");
        return 2;
    }
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    const zip::ExtractionSummary summary = zip::ExtractZipArchive(argv[1]);
    ::QueryPerformanceCounter(&end);
    const double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
    std::printf("wine: launcher unpacking: %d files written, %d failed, %d entries skipped in %.2f s\n",
                summary.filesWritten, summary.filesFailed, summary.entriesSkipped, seconds);
    return summary.opened && summary.filesFailed == 0 ? 0 : 1;
}
