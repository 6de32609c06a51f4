// Stands for a Java runtime installer ("JRE.exe"). Every run appends
// "commandline=", "cwd=" and "end" lines to "<its own path>.record". Run
// with the word "/s" it waits RUNTIME_INSTALLER_DELAY_MS (default 500 ms,
// so a caller that does not wait would miss the result), then registers a
// runtime under HKLM "SOFTWARE\JavaSoft\Java Runtime Environment":
// "CurrentVersion" = the version (RUNTIME_INSTALLER_VERSION, default
// 1.8.0_202) and a subkey of that name whose "JavaHome" is the folder
// "InstalledJRE" beside the installer; it copies "recorder.exe" from beside
// itself there as "bin\javaw.exe".
// For a copy run from a folder of its own (as an embedded installer is),
// RUNTIME_INSTALLER_RECORD, RUNTIME_INSTALLER_HOME and
// RUNTIME_INSTALLER_JAVAW name the record file, the runtime folder and the
// program to copy as javaw.exe instead.

#include "common/unique_resource.h"
#include "common/text_conversion.h"

#include <shellapi.h>

#include <string>

namespace {

std::wstring Variable(const wchar_t* name, const wchar_t* fallback)
{
    wchar_t value[512] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, value, ARRAYSIZE(value));
    return length > 0 && length < ARRAYSIZE(value) ? std::wstring(value, length) : std::wstring(fallback);
}

void AppendRecord(const std::wstring& self, const std::wstring& record)
{
    const std::wstring path = Variable(L"RUNTIME_INSTALLER_RECORD", (self + L".record").c_str());
    common::UniqueFile file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
        const std::string bytes = common::Utf8FromWide(record);
        DWORD written = 0;
        ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
}

bool SetString(HKEY key, const wchar_t* name, const std::wstring& text)
{
    return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool RegisterRuntime(const std::wstring& folder)
{
    const std::wstring version = Variable(L"RUNTIME_INSTALLER_VERSION", L"1.8.0_202");
    const std::wstring home = Variable(L"RUNTIME_INSTALLER_HOME", (folder + L"\\InstalledJRE").c_str());
    const std::wstring javaw = Variable(L"RUNTIME_INSTALLER_JAVAW", (folder + L"\\recorder.exe").c_str());
    ::CreateDirectoryW(home.c_str(), nullptr);
    ::CreateDirectoryW((home + L"\\bin").c_str(), nullptr);
    if (!::CopyFileW(javaw.c_str(), (home + L"\\bin\\javaw.exe").c_str(), FALSE)) {
        return false;
    }
    const std::wstring runtimes = L"SOFTWARE\\JavaSoft\\Java Runtime Environment";
    common::UniqueRegKey root;
    common::UniqueRegKey versionKey;
    return ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, runtimes.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, root.put(),
                             nullptr) == ERROR_SUCCESS &&
           SetString(root.get(), L"CurrentVersion", version) &&
           ::RegCreateKeyExW(root.get(), version.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, versionKey.put(),
                             nullptr) == ERROR_SUCCESS &&
           SetString(versionKey.get(), L"JavaHome", home);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    wchar_t self[MAX_PATH * 4] = {};
    ::GetModuleFileNameW(nullptr, self, ARRAYSIZE(self));
    const std::wstring selfPath = self;
    const std::wstring folder = selfPath.substr(0, selfPath.rfind(L'\\'));

    wchar_t current[MAX_PATH * 4] = {};
    ::GetCurrentDirectoryW(ARRAYSIZE(current), current);
    AppendRecord(selfPath, L"commandline=" + std::wstring(::GetCommandLineW()) + L"\ncwd=" + current + L"\nend\n");

    int count = 0;
    common::UniqueLocalMem words(::CommandLineToArgvW(::GetCommandLineW(), &count));
    bool silent = false;
    for (int i = 1; words && i < count; ++i) {
        silent = silent || wcscmp(static_cast<wchar_t**>(words.get())[i], L"/s") == 0;
    }
    if (!silent) {
        return 1;
    }
    ::Sleep(static_cast<DWORD>(std::wcstoul(Variable(L"RUNTIME_INSTALLER_DELAY_MS", L"500").c_str(), nullptr, 10)));
    return RegisterRuntime(folder) ? 0 : 2;
}
