#include <nettle/sha2.h>

#include "platform/files/sha256.h"

namespace pyrrow::platform {

bool Sha256Digest(std::span<const unsigned char> bytes, std::array<unsigned char, 32>& digest)
{
    static_assert(SHA256_DIGEST_SIZE == 32);
    sha256_ctx context{};
    sha256_init(&context);
    sha256_update(&context, bytes.size(), bytes.data());
    sha256_digest(&context, digest.size(), digest.data());
    return true;
}

}  // namespace pyrrow::platform
