#include "proclaunch/launch_log.h"

#include <windows.h>

namespace proclaunch {

namespace {
LaunchLogSink g_sink = nullptr;
}

void ConnectLaunchLog(LaunchLogSink sink)
{
    g_sink = sink;
}

void WriteLaunchLog(const std::wstring& line)
{
    if (g_sink == nullptr) {
        return;
    }
    // The failure paths read the last-error code after their log lines.
    const DWORD lastError = ::GetLastError();
    g_sink(line);
    ::SetLastError(lastError);
}

}  // namespace proclaunch
