// SHA-256 of a firmware image, for the record of what was flashed (the
// command-line tool) and what was received (the simulator), by the system's
// library: one source file per system (sha256_nettle.cpp on Linux,
// sha256_bcrypt_win.cpp on Windows). console/text.h writes it out in hex.
#pragma once

#include <array>
#include <span>

namespace pyrrow::platform {

// The digest by the system's library; false when it failed (the cause went
// to standard error).
bool Sha256Digest(std::span<const unsigned char> bytes, std::array<unsigned char, 32>& digest);

}  // namespace pyrrow::platform
