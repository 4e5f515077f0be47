// A whole file the tool was given to read (the settings, the firmware): only
// a regular file of at most a given size is read, in pieces, so that a stop
// request ends a slow read, and nothing is locked (many runs may read one
// image at once).
#pragma once

#include <cstdint>
#include <stop_token>
#include <string>
#include <vector>

#include "cli/named_file.h"

namespace pyrrow::cli {

struct InputFile {
    std::vector<unsigned char> bytes;
    FileIdentity identity;
};

enum class ReadStatus { Read, Failed, Stopped };

// what names the file in *problem ("the firmware file"); path is opened as
// given. Failed and Stopped leave *problem saying what happened to which
// file and why.
ReadStatus ReadInputFile(const std::string& what, const std::string& path, std::uint64_t maxBytes,
                         std::stop_token stop, InputFile* file, std::string* problem);

}  // namespace pyrrow::cli
