// A library that someone else put beside a program: its start-up code
// writes "<its own path>.loaded", which must never appear.
#include <windows.h>

#include <string>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*)
{
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t path[MAX_PATH] = {};
        if (::GetModuleFileNameW(instance, path, MAX_PATH) > 0) {
            const std::wstring marker = std::wstring(path) + L".loaded";
            HANDLE file = ::CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (file != INVALID_HANDLE_VALUE) {
                const std::string text = "loaded by process " + std::to_string(::GetCurrentProcessId());
                DWORD written = 0;
                ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
                ::CloseHandle(file);
            }
        }
    }
    return TRUE;
}
