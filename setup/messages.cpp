#include "setup/messages.h"

#include "common/application_name.h"
#include "common/resource_data.h"

namespace setup {

void ShowErrorMessage(UINT id)
{
    const std::wstring text = common::LoadStringResource(::GetModuleHandleW(nullptr), id);
    ::MessageBoxW(nullptr, text.c_str(), common::ApplicationName().c_str(), MB_OK | MB_ICONERROR);
}

}  // namespace setup
