#include "platform/sha256.h"

namespace pyrrow::platform {

std::string Sha256Hex(std::span<const unsigned char> bytes)
{
    std::array<unsigned char, 32> digest{};
    if (!Sha256Digest(bytes, digest))
        return {};
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char byte : digest) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0xF];
    }
    return hex;
}

}  // namespace pyrrow::platform
