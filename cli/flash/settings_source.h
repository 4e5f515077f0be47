// What pyrrow-cli takes from a settings file of the window: the link with its
// port or address, and the firmware path. The file is read as the window
// reads it (the same loading code) but never written, nor created.
#pragma once

#include <optional>
#include <stop_token>
#include <string>

#include "cli/flash/device_uri.h"
#include "platform/files/named_file.h"

namespace pyrrow::cli {

struct SettingsChoice {
    bool readable = false;
    std::string problem;  // why the file could not be read, or what it lacks
    std::optional<DeviceUri> device;
    std::string deviceProblem;  // why it names no usable link
    std::string firmware;       // empty: it names no file
    platform::FileIdentity identity;  // of the file read
    bool stopped = false;       // a stop request ended the read
};

// The file is read whole once; a TCP link counts only with an address the
// file writes out (the window's fallback address is never taken).
SettingsChoice ReadSettingsFile(const std::string& path, std::stop_token stop = {});

}  // namespace pyrrow::cli
