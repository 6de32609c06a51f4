#include "common/error_text.h"

#include "common/unique_resource.h"

namespace common {

std::wstring SystemErrorText(DWORD code)
{
    const DWORD lastError = ::GetLastError();
    UniqueLocalMem buffer;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<LPWSTR>(buffer.put()), 0, nullptr);
    std::wstring text;
    if (length != 0 && buffer) {
        text.assign(static_cast<const wchar_t*>(buffer.get()), length);
    }
    buffer.reset();
    ::SetLastError(lastError);
    return text;
}

std::wstring WithoutLineEnd(std::wstring text)
{
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) {
        text.pop_back();
    }
    return text;
}

}  // namespace common
