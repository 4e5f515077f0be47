// --sha256: the digest the firmware file must have, so that a line never
// flashes another image than the one it was set up for. Given as 64 hex
// digits, or as @FILE, a file in the format sha256sum writes.
#pragma once

#include <stop_token>
#include <string>

#include "cli/flash/firmware_image.h"

namespace pyrrow::cli {

// Whether the text is 64 hex digits (either case).
bool IsSha256Hex(const std::string& text);

struct PinnedDigest {
    std::string sha256;   // lower-case hex; empty on failure
    std::string problem;  // what failed on which file and why
};

// The digest of --sha256 given: the hex digits themselves, or, for @FILE,
// the line of FILE for the firmware file (a file of one line is that line,
// whatever name it gives; of several, the line naming firmwarePath or its
// file name, found once).
PinnedDigest ReadPinnedDigest(const std::string& given, const std::string& firmwarePath, std::stop_token stop);

// Why the image may not be flashed under the pinned digest (both digests
// named), or "" when it is that image.
std::string PinProblem(const FirmwareImage& image, const std::string& sha256);

}  // namespace pyrrow::cli
