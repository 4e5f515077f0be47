// SHA-256 through Windows' own cryptography (BCrypt), present on every
// Windows the program runs on.
#include <windows.h>
#include <bcrypt.h>

#include <cstdio>

#include "platform/files/sha256.h"
#include "platform/windows_text.h"

namespace pyrrow::platform {

bool Sha256Digest(std::span<const unsigned char> bytes, std::array<unsigned char, 32>& digest)
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    NTSTATUS status = ::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (BCRYPT_SUCCESS(status))
        status = ::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0);
    // BCrypt takes at most 4 GiB a call.
    for (std::size_t done = 0; BCRYPT_SUCCESS(status) && done < bytes.size();) {
        const ULONG piece = CallChunk(bytes.size() - done);
        status = ::BCryptHashData(hash, const_cast<PUCHAR>(bytes.data() + done), piece, 0);
        done += piece;
    }
    if (BCRYPT_SUCCESS(status))
        status = ::BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0);
    if (hash != nullptr)
        ::BCryptDestroyHash(hash);
    if (algorithm != nullptr)
        ::BCryptCloseAlgorithmProvider(algorithm, 0);
    if (!BCRYPT_SUCCESS(status))
        std::fprintf(stderr, "sha256: BCrypt failed with status 0x%08lx\n",
                     static_cast<unsigned long>(status));
    return BCRYPT_SUCCESS(status);
}

}  // namespace pyrrow::platform
