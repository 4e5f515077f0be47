// How one unit's upload ended, as every output form reports it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pyrrow::cli {

struct UnitResult {
    bool ok = false;
    int exitCode = 0;
    std::string device;   // what the unit resolved to, when it did
    std::string kind;     // failure: "no_device", "header_no_answer", ...
    std::string message;  // failure: the unit, what failed, what was tried, what to do
    std::string cause;    // failure: the system's or the unit's own reason
    std::optional<std::uint32_t> frame;   // failure in the data: block or frame number from 0
    std::optional<std::uint64_t> offset;  // failure in the data: its offset in the file
    // The bytes of the file that went to the unit, the header included,
    // however the upload ended: the whole file when ok.
    std::uint64_t bytesSent = 0;
    std::int64_t durationMs = 0;
};

}  // namespace pyrrow::cli
