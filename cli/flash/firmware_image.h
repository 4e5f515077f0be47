// The firmware file of a run, read and checked once before any device is
// touched, so that a bad file fails at once and every unit gets the same
// bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "cli/flash/input_file.h"

namespace pyrrow::cli {

// The largest image this tool sends: every unit gets the same bytes from
// memory, and 64 MiB is 65536 frames of 1024 bytes, as far as a TCP frame's
// 16-bit counter numbers them without wrapping (and about two hours at the
// protocol's pace).
constexpr std::uint64_t kMaxFirmwareBytes = 64ull * 1024 * 1024;

struct FirmwareImage {
    std::string path;
    std::vector<unsigned char> bytes;
    std::string sha256;
    platform::FileIdentity identity;
};

struct FirmwareLoad {
    std::optional<FirmwareImage> image;  // none on failure
    std::string problem;                 // what failed on which file and why
    bool stopped = false;                // a stop request ended the read
};

// Reads the file whole; it must hold at least the 32-byte header and at
// most kMaxFirmwareBytes.
FirmwareLoad LoadFirmware(const std::string& path, std::stop_token stop);

}  // namespace pyrrow::cli
