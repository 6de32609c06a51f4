#include "common/file_digest.h"

#include "common/unique_resource.h"

#include <vector>

namespace common {

bool HashOpenFile(HANDLE file, std::uint64_t& size, Sha256Digest& digest, HANDLE copy)
{
    UniqueCryptProvider provider;
    UniqueCryptHash hash;
    // A verification context: no key container, nothing stored.
    if (!::CryptAcquireContextW(provider.put(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) ||
        !::CryptCreateHash(provider.get(), CALG_SHA_256, 0, 0, hash.put())) {
        return false;
    }
    LARGE_INTEGER start = {};
    if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) {
        return false;
    }
    std::vector<BYTE> buffer(1 << 20);
    size = 0;
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
            return false;
        }
        if (read == 0) {
            break;
        }
        if (!::CryptHashData(hash.get(), buffer.data(), read, 0)) {
            return false;
        }
        DWORD written = 0;
        if (copy != INVALID_HANDLE_VALUE &&
            (!::WriteFile(copy, buffer.data(), read, &written, nullptr) || written != read)) {
            return false;
        }
        size += read;
    }
    DWORD digestSize = static_cast<DWORD>(digest.size());
    return ::CryptGetHashParam(hash.get(), HP_HASHVAL, digest.data(), &digestSize, 0) && digestSize == digest.size();
}

}  // namespace common
