#include "common/media_list.h"

#include "common/text_conversion.h"

namespace common {

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;  // upper case too: one spelling per digest
}

bool ParseDigest(const std::string& text, Sha256Digest& digest)
{
    if (text.size() != 2 * digest.size()) {
        return false;
    }
    for (size_t i = 0; i < digest.size(); ++i) {
        const int high = HexValue(text[2 * i]);
        const int low = HexValue(text[2 * i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        digest[i] = static_cast<unsigned char>(high * 16 + low);
    }
    return true;
}

bool ParseSize(const std::string& text, std::uint64_t& size)
{
    if (text.empty() || text.size() > 15 || (text.size() > 1 && text[0] == '0')) {
        return false;
    }
    size = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        size = size * 10 + static_cast<unsigned>(c - '0');
    }
    return true;
}

// Below the program's folder and nowhere else.
bool IsPlainRelativePath(const std::string& path)
{
    if (path.empty() || path.find_first_of(":/\r\t") != std::string::npos) {
        return false;
    }
    size_t start = 0;
    for (;;) {
        const size_t end = path.find('\\', start);
        const std::string part = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part.empty() || part == "." || part == "..") {
            return false;
        }
        if (end == std::string::npos) {
            return true;
        }
        start = end + 1;
    }
}

wchar_t FoldAscii(wchar_t c)
{
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool SameIgnoringAsciiCase(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<MediaList> ParseMediaList(const std::string& text)
{
    MediaList list;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            return std::nullopt;  // a cut-off last line
        }
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const size_t firstBlank = line.find(' ');
        const size_t secondBlank = firstBlank == std::string::npos ? firstBlank : line.find(' ', firstBlank + 1);
        if (secondBlank == std::string::npos) {
            return std::nullopt;
        }
        MediaFile file;
        const std::string path = line.substr(secondBlank + 1);
        if (!ParseDigest(line.substr(0, firstBlank), file.digest) ||
            !ParseSize(line.substr(firstBlank + 1, secondBlank - firstBlank - 1), file.size) ||
            !IsPlainRelativePath(path)) {
            return std::nullopt;
        }
        file.path = WideFromUtf8(path);
        if (file.path.empty() || FindMediaFile(list, file.path) != nullptr) {
            return std::nullopt;  // not UTF-8, or a path named twice
        }
        list.push_back(std::move(file));
    }
    return list;
}

const MediaFile* FindMediaFile(const MediaList& list, const std::wstring& relativePath)
{
    for (const MediaFile& file : list) {
        if (SameIgnoringAsciiCase(file.path, relativePath)) {
            return &file;
        }
    }
    return nullptr;
}

const MediaFile* FirstMediaFileIn(const MediaList& list, const std::wstring& folder)
{
    const std::wstring prefix = folder + L"\\";
    for (const MediaFile& file : list) {
        if (file.path.size() > prefix.size() && SameIgnoringAsciiCase(file.path.substr(0, prefix.size()), prefix)) {
            return &file;
        }
    }
    return nullptr;
}

std::wstring HexDigest(const Sha256Digest& digest)
{
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text;
    for (unsigned char byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

std::wstring DescribeDifference(const MediaFile& listed, std::uint64_t size, const Sha256Digest& digest)
{
    if (size != listed.size) {
        return L"size " + std::to_wstring(size) + L" bytes instead of " + std::to_wstring(listed.size);
    }
    if (digest != listed.digest) {
        return L"SHA-256 " + HexDigest(digest) + L" instead of " + HexDigest(listed.digest);
    }
    return std::wstring();
}

}  // namespace common
