// The firmware file of a run, read and checked once before any device is
// touched, so that a bad file fails at once and every unit gets the same
// bytes.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pyrrow::cli {

struct FirmwareImage {
    std::string path;
    std::vector<unsigned char> bytes;
    std::string sha256;
};

// Reads the file whole; it must hold at least the 32-byte header. Nothing
// on failure, with *problem saying what failed on which file and why.
std::optional<FirmwareImage> LoadFirmware(const std::string& path, std::string* problem);

}  // namespace pyrrow::cli
