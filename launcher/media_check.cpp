#include "launcher/media_check.h"

namespace launcher {

common::MediaFileCheck CheckBesideLauncher(const common::MediaList& list, const std::wstring& folder,
                                           const std::wstring& name, const wchar_t* what, DecisionTrace& trace)
{
    common::MediaFileCheck check = common::CheckMediaFile(list, folder, name);
    if (!check) {
        trace.Line(std::wstring(what) + L": " + folder + L"\\" + name + L" differs from the media: " + check.problem);
    }
    return check;
}

}  // namespace launcher
