#pragma once
// The setup form's step lines, captured for the length of one object.

#include "proclaunch/launch_log.h"

#include <string>
#include <vector>

namespace launch_testing {

class CapturedLog {
public:
    CapturedLog()
    {
        Lines().clear();
        proclaunch::ConnectLaunchLog(&Capture);
    }
    ~CapturedLog() { proclaunch::ConnectLaunchLog(nullptr); }
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    const std::vector<std::wstring>& lines() const { return Lines(); }
    void clear() { Lines().clear(); }

private:
    static std::vector<std::wstring>& Lines()
    {
        static std::vector<std::wstring> lines;
        return lines;
    }
    static void Capture(const std::wstring& line) { Lines().push_back(line); }
};

// Joins several expected runs of lines into one.
inline std::vector<std::wstring> Concat(std::initializer_list<std::vector<std::wstring>> parts)
{
    std::vector<std::wstring> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

}  // namespace launch_testing
