// SHA-256 of the firmware, for the record of what was flashed. One source
// file per system's library implements it (sha256_nettle.cpp on Linux).
#pragma once

#include <span>
#include <string>

namespace pyrrow::cli {

// The digest as 64 lower-case hex digits.
std::string Sha256Hex(std::span<const unsigned char> bytes);

}  // namespace pyrrow::cli
