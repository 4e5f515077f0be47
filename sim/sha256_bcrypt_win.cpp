// SHA-256 through Windows' own cryptography (BCrypt).
#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <iostream>

#include "sim/sha256.h"

namespace pyrrow::sim {

std::string Sha256Hex(std::string_view bytes)
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    NTSTATUS status = ::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (BCRYPT_SUCCESS(status))
        status = ::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0);
    // BCrypt takes at most 4 GiB a call.
    for (std::size_t done = 0; BCRYPT_SUCCESS(status) && done < bytes.size();) {
        const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(bytes.size() - done, 0x40000000));
        status = ::BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data() + done)), piece, 0);
        done += piece;
    }
    unsigned char digest[32] = {};
    if (BCRYPT_SUCCESS(status))
        status = ::BCryptFinishHash(hash, digest, sizeof digest, 0);
    if (hash != nullptr)
        ::BCryptDestroyHash(hash);
    if (algorithm != nullptr)
        ::BCryptCloseAlgorithmProvider(algorithm, 0);
    if (!BCRYPT_SUCCESS(status)) {
        std::cerr << "pyrrow-sim: SHA-256 through BCrypt failed with status 0x" << std::hex
                  << static_cast<unsigned long>(status) << std::dec << "\n";
        return {};
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char b : digest) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0xF];
    }
    return text;
}

}  // namespace pyrrow::sim
