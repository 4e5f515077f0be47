// The SHA-256 digest of an image, as the summary shows it: 64 lowercase
// hexadecimal digits. One source file per system's library
// (sha256_nettle.cpp, sha256_bcrypt_win.cpp).
#pragma once

#include <string>
#include <string_view>

namespace pyrrow::sim {

std::string Sha256Hex(std::string_view bytes);

}  // namespace pyrrow::sim
