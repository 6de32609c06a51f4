#include "launcher/media_check.h"

namespace launcher {

common::MediaFileCheck CheckBesideLauncher(const common::MediaList& list, const std::wstring& folder,
                                           const std::wstring& name, const wchar_t* what, DecisionTrace& trace,
                                           const std::wstring& copyPath)
{
    common::MediaFileCheck check = copyPath.empty() ? common::CheckMediaFile(list, folder, name)
                                                    : common::CopyCheckedMediaFile(list, folder, name, copyPath);
    if (!check) {
        trace.Line(std::wstring(what) + L": " + QuotedPath(folder + L"\\" + name) + L" differs from the media: " + check.problem);
    }
    return check;
}

}  // namespace launcher
