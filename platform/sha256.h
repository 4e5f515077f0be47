// SHA-256 of a firmware image, for the record of what was flashed (the
// command-line tool) and what was received (the simulator). One source file
// per system's library implements it (sha256_nettle.cpp on Linux,
// sha256_bcrypt_win.cpp on Windows).
#pragma once

#include <span>
#include <string>

namespace pyrrow::platform {

// The digest as 64 lower-case hex digits.
std::string Sha256Hex(std::span<const unsigned char> bytes);

}  // namespace pyrrow::platform
