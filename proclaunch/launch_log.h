#pragma once
// Where the setup form's step lines go. The setup program connects its log
// writer once at start-up, before any launch; until then lines are dropped.

#include <string>

namespace proclaunch {

using LaunchLogSink = void (*)(const std::wstring& line);

// Connects (or, with nullptr, disconnects) the receiver of the lines.
void ConnectLaunchLog(LaunchLogSink sink);

// Hands one line to the receiver. The caller's last-error code survives.
void WriteLaunchLog(const std::wstring& line);

}  // namespace proclaunch
