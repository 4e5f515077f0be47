// What pyrrow-cli takes from a settings file of the window: the link with its
// port or address, and the firmware path. The file is read as the window
// reads it (the same loading code) but never written, nor created.
#pragma once

#include <optional>
#include <string>

#include "cli/device_uri.h"

namespace pyrrow::cli {

struct SettingsChoice {
    bool readable = false;
    std::string problem;  // why the file could not be read, or what it lacks
    std::optional<DeviceUri> device;
    std::string deviceProblem;  // why it names no usable link
    std::string firmware;       // empty: it names no file
};

SettingsChoice ReadSettingsFile(const std::string& path);

}  // namespace pyrrow::cli
