// SHA-256 of a firmware image, for the record of what was flashed (the
// command-line tool) and what was received (the simulator). One source file
// per system's library computes the digest (sha256_nettle.cpp on Linux,
// sha256_bcrypt_win.cpp on Windows); sha256.cpp writes it out.
#pragma once

#include <array>
#include <span>
#include <string>

namespace pyrrow::platform {

// The digest as 64 lower-case hex digits; empty when the system's hash
// failed.
std::string Sha256Hex(std::span<const unsigned char> bytes);

// The digest by the system's library; false when it failed (the cause went
// to standard error).
bool Sha256Digest(std::span<const unsigned char> bytes, std::array<unsigned char, 32>& digest);

}  // namespace pyrrow::platform
