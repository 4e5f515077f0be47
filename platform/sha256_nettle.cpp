#include <nettle/sha2.h>

#include "platform/sha256.h"

namespace pyrrow::platform {

std::string Sha256Hex(std::span<const unsigned char> bytes)
{
    sha256_ctx context{};
    sha256_init(&context);
    sha256_update(&context, bytes.size(), bytes.data());
    unsigned char digest[SHA256_DIGEST_SIZE];
    sha256_digest(&context, sizeof digest, digest);
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char byte : digest) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0xF];
    }
    return hex;
}

}  // namespace pyrrow::platform
