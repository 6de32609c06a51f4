#include "common/application_name.h"

#include "common/paths.h"

namespace common {

std::wstring ApplicationNameFromPath(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos && dot != 0) {
        name.erase(dot);
    }
    return name;
}

std::wstring ApplicationName()
{
    return ApplicationNameFromPath(ProgramPath());
}

}  // namespace common
