#include "tests/support/test_support.h"

#include "build_paths.h"
#include "common/registry.h"
#include "common/system_libraries.h"
#include "common/text_conversion.h"
#include "common/unique_resource.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <sstream>

namespace testing_support {

std::wstring DistPath(const std::wstring& relative)
{
    return std::wstring(WENDREL_DIST_DIR) + L"\\" + relative;
}

std::wstring StandinPath(const std::wstring& name)
{
    return std::wstring(WENDREL_STANDIN_DIR) + L"\\" + name;
}

ScratchFolder::ScratchFolder()
{
    static LONG counter = 0;
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    std::wstring name = L"wendrel-test";
    if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info()) {
        name += L"-" + FromUtf8(info->name());
    }
    name += L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::InterlockedIncrement(&counter));
    for (auto& c : name) {
        if (c == L'/') {
            c = L'_';
        }
    }
    m_path = std::wstring(temp) + name;
    if (!m_path.empty() && m_path.back() == L'\\') {
        m_path.pop_back();
    }
    RemoveTree(m_path);
    CreateFolders(m_path);
}

ScratchFolder::~ScratchFolder()
{
    RemoveTree(m_path);
}

namespace {

std::wstring EnvironmentWith(const std::vector<std::pair<std::wstring, std::wstring>>& added)
{
    wchar_t* strings = ::GetEnvironmentStringsW();
    std::wstring block;
    for (const wchar_t* p = strings; *p; p += wcslen(p) + 1) {
        std::wstring entry = p;
        bool replaced = false;
        for (const auto& [name, value] : added) {
            if (_wcsnicmp(entry.c_str(), (name + L"=").c_str(), name.size() + 1) == 0) {
                replaced = true;
            }
        }
        if (!replaced) {
            block += entry;
            block += L'\0';
        }
    }
    ::FreeEnvironmentStringsW(strings);
    for (const auto& [name, value] : added) {
        block += name + L"=" + value;
        block += L'\0';
    }
    block += L'\0';
    return block;
}

}  // namespace

HANDLE StartProgram(const std::wstring& commandLine, const RunOptions& options)
{
    common::UniqueFile output;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    BOOL inherit = FALSE;
    if (!options.stdoutFile.empty()) {
        SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
        output.reset(::CreateFileW(options.stdoutFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = output.get();
        startup.hStdError = output.get();
        startup.hStdInput = nullptr;
        inherit = TRUE;
    }
    std::wstring environment;
    DWORD flags = options.creationFlags;
    if (!options.environment.empty()) {
        environment = EnvironmentWith(options.environment);
        flags |= CREATE_UNICODE_ENVIRONMENT;
    }
    if (options.job) {
        flags |= CREATE_SUSPENDED;
    }
    std::wstring mutableLine = commandLine;
    PROCESS_INFORMATION created = {};
    if (!::CreateProcessW(options.program.empty() ? nullptr : options.program.c_str(), &mutableLine[0], nullptr,
                          nullptr, inherit, flags,
                          environment.empty() ? nullptr : &environment[0],
                          options.workingFolder.empty() ? nullptr : options.workingFolder.c_str(), &startup,
                          &created)) {
        return nullptr;
    }
    common::UniqueHandle thread(created.hThread);
    if (options.job) {
        if (!::AssignProcessToJobObject(options.job, created.hProcess)) {
            const DWORD error = ::GetLastError();
            ::TerminateProcess(created.hProcess, 99);
            ::CloseHandle(created.hProcess);
            ::SetLastError(error);
            return nullptr;
        }
        if (!(options.creationFlags & CREATE_SUSPENDED)) {
            ::ResumeThread(thread.get());
        }
    }
    return created.hProcess;
}

RunResult RunProgram(const std::wstring& commandLine, const RunOptions& options)
{
    RunResult result;
    const DWORD start = ::GetTickCount();
    common::UniqueHandle process(StartProgram(commandLine, options));
    if (!process) {
        result.startError = ::GetLastError();
        return result;
    }
    result.started = true;
    if (::WaitForSingleObject(process.get(), options.timeoutMs) != WAIT_OBJECT_0) {
        result.timedOut = true;
        ::TerminateProcess(process.get(), 259);
        ::WaitForSingleObject(process.get(), 5000);
    }
    ::GetExitCodeProcess(process.get(), &result.exitCode);
    result.elapsedMs = ::GetTickCount() - start;
    return result;
}

bool CopyProgram(const std::wstring& from, const std::wstring& to)
{
    return ::CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes)
{
    common::UniqueFile file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    DWORD written = 0;
    return ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

std::string ReadBytes(const std::wstring& path)
{
    common::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    if (!file) {
        return bytes;
    }
    char buffer[65536];
    DWORD read = 0;
    while (::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        bytes.append(buffer, read);
    }
    return bytes;
}

bool FolderExists(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateFolders(const std::wstring& path)
{
    for (size_t slash = path.find(L'\\', 3); ; slash = path.find(L'\\', slash + 1)) {
        const std::wstring prefix = path.substr(0, slash);
        if (!FolderExists(prefix) && !::CreateDirectoryW(prefix.c_str(), nullptr)) {
            return false;
        }
        if (slash == std::wstring::npos) {
            return true;
        }
    }
}

void RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW found;
    common::UniqueFind search(::FindFirstFileW((path + L"\\*").c_str(), &found));
    if (search) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const std::wstring child = path + L"\\" + name;
            ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                ::DeleteFileW(child.c_str());
            }
        } while (::FindNextFileW(search.get(), &found));
    }
    search.reset();
    ::RemoveDirectoryW(path.c_str());
}

std::string Utf8(const std::wstring& text)
{
    return common::Utf8FromWide(text);
}

std::wstring FromUtf8(const std::string& bytes)
{
    return common::WideFromUtf8(bytes);
}

std::vector<Recording> ReadRecordings(const std::wstring& exePath)
{
    std::vector<Recording> runs;
    std::istringstream lines(ReadBytes(exePath + L".record"));
    Recording current;
    for (std::string line; std::getline(lines, line);) {
        if (line == "end") {
            runs.push_back(current);
            current.clear();
            continue;
        }
        const size_t equals = line.find('=');
        if (equals != std::string::npos) {
            current[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return runs;
}

namespace {

struct WindowSearch {
    DWORD processId;
    const std::wstring* caption;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !::IsWindowVisible(window)) {
        return TRUE;
    }
    if (!search->caption->empty() && WindowText(window) != *search->caption) {
        return TRUE;
    }
    search->found = window;
    return FALSE;
}

}  // namespace

HWND WaitForProcessWindow(DWORD processId, const std::wstring& caption, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        WindowSearch search{processId, &caption, nullptr};
        ::EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            return search.found;
        }
        if (::GetTickCount() - start >= timeoutMs) {
            return nullptr;
        }
        ::Sleep(50);
    }
}

std::wstring WindowText(HWND window)
{
    // WM_GETTEXT, as GetWindowTextW does not ask controls of other processes.
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) {
        return std::wstring();
    }
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
                               5000, &copied)) {
        return std::wstring();
    }
    text.resize(static_cast<size_t>(copied));
    return text;
}

std::wstring DialogItemText(HWND dialog, int id)
{
    HWND item = ::GetDlgItem(dialog, id);
    return item ? WindowText(item) : std::wstring();
}

void PressDialogButton(HWND dialog, int id)
{
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

void SetMachineString(const std::wstring& keyPath, const wchar_t* name, const std::wstring& text, REGSAM view)
{
    common::UniqueRegKey key;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr,
                                key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                               static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

bool ReadMachineString(const std::wstring& keyPath, const wchar_t* name, std::wstring& text, REGSAM view)
{
    const auto read = common::ReadRegistryString(
        HKEY_LOCAL_MACHINE, keyPath, name, KEY_READ | view,
        {common::RegistryValueTypes::Strings, 1023 * sizeof(wchar_t), common::ReadAsStored});
    if (!read) {
        return false;
    }
    text = *read;
    return true;
}

std::wstring SystemTempFolder()
{
    wchar_t root[MAX_PATH] = {};
    ::GetEnvironmentVariableW(L"SystemRoot", root, MAX_PATH);
    return std::wstring(root) + L"\\Temp";
}

std::set<std::wstring> SystemTempEntries(const wchar_t* pattern)
{
    std::set<std::wstring> entries;
    WIN32_FIND_DATAW entry = {};
    common::UniqueFind listing(::FindFirstFileW((SystemTempFolder() + L"\\" + pattern).c_str(), &entry));
    if (listing) {
        do {
            entries.insert(SystemTempFolder() + L"\\" + entry.cFileName);
        } while (::FindNextFileW(listing.get(), &entry));
    }
    return entries;
}

namespace {

std::set<std::wstring> TraceFolders()
{
    return SystemTempEntries(L"wendrel-trace-*");
}

}  // namespace

TraceWatch::TraceWatch() : m_before(TraceFolders()) {}

TraceWatch::~TraceWatch()
{
    for (const std::wstring& folder : TraceFolders()) {
        if (!m_before.count(folder)) {
            RemoveTree(folder);
        }
    }
}

std::wstring TraceWatch::Path() const
{
    for (const std::wstring& folder : TraceFolders()) {
        if (!m_before.count(folder)) {
            return folder + L"\\trace.txt";
        }
    }
    return std::wstring();
}

std::string TraceWatch::Text() const
{
    const std::wstring path = Path();
    return path.empty() ? std::string() : ReadBytes(path);
}

std::string UnixPath(const std::wstring& windowsPath)
{
    using UnixName = char*(CDECL*)(LPCWSTR);
    const auto unixName =
        common::FindFunction<UnixName>(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
    const common::UniqueHeapBlock name(unixName ? unixName(windowsPath.c_str()) : nullptr);
    return name ? std::string(static_cast<const char*>(name.get())) : std::string();
}

bool StartUnixShell(const std::string& script)
{
    std::wstring commandLine = L"/bin/sh -c \"" + FromUtf8(script) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION created = {};
    if (!::CreateProcessW(L"Z:\\bin\\sh", &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &created)) {
        return false;
    }
    // Wine gives no process object for a Unix program: the handles are null.
    common::UniqueHandle process(created.hProcess);
    common::UniqueHandle thread(created.hThread);
    return true;
}

bool MakeUnixLink(const std::wstring& link, const std::wstring& target)
{
    const std::string unixLink = UnixPath(link);
    const std::string unixTarget = UnixPath(target);
    if (unixLink.empty() || unixTarget.empty()) {
        return false;
    }
    const std::wstring done = link + L".made";
    if (!StartUnixShell("ln -s '" + unixTarget + "' '" + unixLink + "' && touch '" + unixLink + ".made'") ||
        !WaitForFile(done, 10000)) {
        return false;
    }
    ::DeleteFileW(done.c_str());
    return true;
}

bool WaitForFile(const std::wstring& path, DWORD timeoutMs)
{
    return WaitUntil([&] { return FileExists(path); }, timeoutMs);
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    while (!condition()) {
        if (::GetTickCount() - start >= timeoutMs) {
            return condition();
        }
        ::Sleep(50);
    }
    return true;
}

std::vector<DWORD> ProcessesNamed(const std::wstring& imageName)
{
    std::vector<DWORD> ids;
    common::UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        ADD_FAILURE() << "CreateToolhelp32Snapshot: " << ::GetLastError();
        return ids;
    }
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, imageName.c_str()) == 0) {
            ids.push_back(entry.th32ProcessID);
        }
    }
    return ids;
}

bool WaitUntilNoProcessNamed(const std::wstring& imageName, DWORD timeoutMs)
{
    return WaitUntil([&] { return ProcessesNamed(imageName).empty(); }, timeoutMs);
}

bool SetResource(const std::wstring& program, LPCWSTR type, LPCWSTR name, const std::string& bytes)
{
    HANDLE update = ::BeginUpdateResourceW(program.c_str(), FALSE);
    if (!update) {
        return false;
    }
    const BOOL added = ::UpdateResourceW(update, type, name, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                                         const_cast<char*>(bytes.data()), static_cast<DWORD>(bytes.size()));
    return ::EndUpdateResourceW(update, !added) && added;
}

namespace {

// A resource type or name: a number or a text.
struct ResourceId {
    explicit ResourceId(LPCWSTR id)
        : number(IS_INTRESOURCE(id) ? static_cast<WORD>(reinterpret_cast<ULONG_PTR>(id)) : 0),
          text(IS_INTRESOURCE(id) ? L"" : id)
    {
    }
    LPCWSTR get() const { return number ? MAKEINTRESOURCEW(number) : text.c_str(); }
    WORD number;
    std::wstring text;
};

struct ResourceCopy {
    ResourceId type;
    ResourceId name;
    WORD language;
    std::string bytes;
};

struct ResourceWalk {
    HMODULE module;
    std::vector<ResourceCopy> resources;
};

BOOL CALLBACK TakeLanguage(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR walk)
{
    HRSRC found = ::FindResourceExW(module, type, name, language);
    HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    const char* data = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
    if (data) {
        reinterpret_cast<ResourceWalk*>(walk)->resources.push_back(
            {ResourceId(type), ResourceId(name), language, std::string(data, ::SizeofResource(module, found))});
    }
    return TRUE;
}

BOOL CALLBACK TakeName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR walk)
{
    ::EnumResourceLanguagesW(module, type, name, &TakeLanguage, walk);
    return TRUE;
}

BOOL CALLBACK TakeType(HMODULE module, LPWSTR type, LONG_PTR walk)
{
    ::EnumResourceNamesW(module, type, &TakeName, walk);
    return TRUE;
}

}  // namespace

bool CopyProgramWithoutResources(const std::wstring& from, const std::wstring& to,
                                 const std::function<bool(LPCWSTR type, LPCWSTR name)>& drop)
{
    ResourceWalk walk{::LoadLibraryExW(from.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE), {}};
    if (!walk.module) {
        return false;
    }
    ::EnumResourceTypesW(walk.module, &TakeType, reinterpret_cast<LONG_PTR>(&walk));
    ::FreeLibrary(walk.module);
    if (walk.resources.empty() || !CopyProgram(from, to)) {
        return false;
    }
    HANDLE update = ::BeginUpdateResourceW(to.c_str(), TRUE);
    if (!update) {
        return false;
    }
    bool written = true;
    for (ResourceCopy& resource : walk.resources) {
        if (drop(resource.type.get(), resource.name.get())) {
            continue;
        }
        written = written && ::UpdateResourceW(update, resource.type.get(), resource.name.get(), resource.language,
                                               &resource.bytes[0], static_cast<DWORD>(resource.bytes.size()));
    }
    return ::EndUpdateResourceW(update, !written) && written;
}

std::string ReadResource(const std::wstring& program, LPCWSTR type, LPCWSTR name)
{
    HMODULE module = ::LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) {
        return std::string();
    }
    std::string bytes;
    HRSRC found = ::FindResourceW(module, name, type);
    HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    if (const char* data = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr) {
        bytes.assign(data, ::SizeofResource(module, found));
    }
    ::FreeLibrary(module);
    return bytes;
}

std::string ResourceInLanguage(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language)
{
    HRSRC found = ::FindResourceExW(module, type, name, language);
    HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    const char* data = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
    return data ? std::string(data, ::SizeofResource(module, found)) : std::string();
}

std::map<int, std::wstring> StringTableBlock(const std::string& block, int blockId)
{
    std::map<int, std::wstring> strings;
    const auto* units = reinterpret_cast<const wchar_t*>(block.data());
    const size_t count = block.size() / 2;
    size_t at = 0;
    for (int id = (blockId - 1) * 16; id < blockId * 16 && at < count; ++id) {
        const size_t length = units[at++];
        if (length > 0 && at + length <= count) {
            strings[id] = std::wstring(units + at, length);
        }
        at += length;
    }
    return strings;
}

NativeLibraryFirst::NativeLibraryFirst(const std::wstring& program, const wchar_t* library)
    : m_key(program.empty() ? L"Software\\Wine\\DllOverrides"
                            : L"Software\\Wine\\AppDefaults\\" + program + L"\\DllOverrides"),
      m_library(library)
{
    common::UniqueRegKey key;
    ::RegCreateKeyExW(HKEY_CURRENT_USER, m_key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr);
    const wchar_t order[] = L"native,builtin";
    ::RegSetValueExW(key.get(), library, 0, REG_SZ, reinterpret_cast<const BYTE*>(order), sizeof(order));
}

NativeLibraryFirst::~NativeLibraryFirst()
{
    common::UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, m_key.c_str(), 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS) {
        ::RegDeleteValueW(key.get(), m_library.c_str());
    }
}

}  // namespace testing_support
