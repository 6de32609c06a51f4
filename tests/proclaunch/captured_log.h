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

// Fixed runs of the grant routines' lines, between the comparisons they make.
inline const std::vector<std::wstring> kCompareTrue = {L"CompareAces", L"CompareAces return true"};
inline const std::vector<std::wstring> kCompareFalse = {L"CompareAces", L"CompareAces return false"};

inline const std::vector<std::wstring> kWindowStationOpening = {
    L"AddAceToWindowStation",
    L"AddAceToWindowStation: Obtain the DACL for the window station:",
    L"AddAceToWindowStation: Create a new DACL:",
    L"AddAceToWindowStation: Get the DACL from the security descriptor:",
    L"AddAceToWindowStation: Initialize the ACL:",
    L"AddAceToWindowStation: Call only if the DACL is not NULL:",
    L"AddAceToWindowStation: Compute the size of the new ACL:",
    L"AddAceToWindowStation: Allocate memory for the new ACL:",
    L"AddAceToWindowStation: Pre-create base of ACEs to be added",
    L"AddAceToWindowStation: CopySid",
    L"AddAceToWindowStation: If DACL is present, check for existing instances of our ACEs int the DACL to "
    L"calculate the new size:",
};

inline const std::vector<std::wstring> kWindowStationClosing = {
    L"AddAceToWindowStation: Add the first ACE to the window station:",
    L"AddAceToWindowStation: Add the second ACE to the window station:",
    L"AddAceToWindowStation: Set a new DACL for the security descriptor:",
    L"AddAceToWindowStation: Set the new security descriptor for the window station:",
    L"AddAceToWindowStation: Free the allocated buffers:",
    L"AddAceToWindowStation: return true",
};

inline const std::vector<std::wstring> kDesktopOpening = {
    L"AddAceToDesktop",
    L"AddAceToDesktop: Obtain the security descriptor for the desktop object:",
    L"AddAceToDesktop: Create a new DACL:",
    L"AddAceToDesktop: Get the DACL from the security descriptor:",
    L"AddAceToDesktop: Initialize the ACL:",
    L"AddAceToDesktop: Call only if the DACL is not NULL:",
    L"AddAceToDesktop: Compute the size of the new ACL:",
    L"AddAceToDesktop: Allocate buffer for the new ACL:",
    L"AddAceToDesktop: Pre-create the ACE to be added",
    L"AddAceToDesktop: CopySid",
    L"AddAceToDesktop: If DACL is present, check for existing instances of our ACE int the DACL to calculate "
    L"the new size:",
};

}  // namespace launch_testing
