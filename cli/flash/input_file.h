// A whole file the tool was given to read (the settings, the firmware): only
// a regular file of at most a given size is read, in pieces, so that a stop
// request ends a slow read, and nothing is locked (many runs may read one
// image at once).
#pragma once

#include <cstdint>
#include <stop_token>
#include <string>
#include <vector>

#include "platform/files/named_file.h"

namespace pyrrow::cli {

enum class ReadStatus { Read, Failed, Stopped };

struct InputFile {
    ReadStatus status = ReadStatus::Failed;
    std::string problem;  // Failed and Stopped: what happened to which file and why
    std::vector<unsigned char> bytes;
    platform::FileIdentity identity;
};

// what names the file in the problem ("the firmware file"); path is opened
// as given.
InputFile ReadInputFile(const std::string& what, const std::string& path, std::uint64_t maxBytes,
                        std::stop_token stop);

}  // namespace pyrrow::cli
