#include "common/held_file.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace common {

UniqueFile OpenHeld(const std::wstring& path, DWORD flags)
{
    return UniqueFile(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, flags, nullptr));
}

UniqueFile HoldIfIdentical(const std::wstring& path, const void* data, size_t size)
{
    UniqueFile file = OpenHeld(path);
    if (!file) {
        return file;
    }
    LARGE_INTEGER fileSize = {};
    if (!::GetFileSizeEx(file.get(), &fileSize) || static_cast<ULONGLONG>(fileSize.QuadPart) != size) {
        return UniqueFile();
    }
    constexpr size_t kChunk = 64 * 1024;
    std::vector<char> chunk(std::min(size, kChunk));
    const char* expected = static_cast<const char*>(data);
    for (size_t offset = 0; offset < size;) {
        const DWORD wanted = static_cast<DWORD>(std::min(size - offset, kChunk));
        DWORD read = 0;
        if (!::ReadFile(file.get(), chunk.data(), wanted, &read, nullptr) || read != wanted ||
            std::memcmp(chunk.data(), expected + offset, wanted) != 0) {
            return UniqueFile();
        }
        offset += wanted;
    }
    return file;
}

UniqueFile WriteHeldFile(const std::wstring& path, const void* data, DWORD size)
{
    {
        UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                      nullptr));
        DWORD written = 0;
        if (!file || !::WriteFile(file.get(), data, size, &written, nullptr) || written != size) {
            return UniqueFile();
        }
    }
    // Writing and holding cannot be one handle, since the system refuses to
    // start a file open for writing: what was written is read back instead.
    return HoldIfIdentical(path, data, size);
}

namespace {

bool SameFile(HANDLE a, HANDLE b)
{
    BY_HANDLE_FILE_INFORMATION first = {}, second = {};
    return ::GetFileInformationByHandle(a, &first) && ::GetFileInformationByHandle(b, &second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

}  // namespace

bool ProcessImageIsFile(HANDLE process, HANDLE held)
{
    std::vector<wchar_t> name(32768, L'\0');
    DWORD length = static_cast<DWORD>(name.size());
    if (!::QueryFullProcessImageNameW(process, 0, name.data(), &length)) {
        return false;
    }
    std::wstring image(name.data(), length);
    // Wine names a process that has not run yet in the native form.
    if (image.compare(0, 4, L"\\??\\") == 0) {
        image[1] = L'\\';
    }
    const UniqueFile found(::CreateFileW(image.c_str(), FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return found && SameFile(found.get(), held);
}

bool ResumeIfImageIsHeld(HANDLE process, HANDLE thread, HANDLE held)
{
    DWORD error = kImageNotTheHeldFile;
    if (held == nullptr || ProcessImageIsFile(process, held)) {
        if (::ResumeThread(thread) != static_cast<DWORD>(-1)) {
            return true;
        }
        error = ::GetLastError();
    }
    ::TerminateProcess(process, error);
    ::WaitForSingleObject(process, 5000);
    ::SetLastError(error);
    return false;
}

}  // namespace common
