// The first argument that names no command or option where it stands, told
// with the nearest real name: "unknown option --devcie; did you mean
// --device?". CLI11 would report the whole rest of the line instead.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace pyrrow::cli {

// args in their order, without the program's name.
std::optional<std::string> UnknownArgument(const CLI::App& app, const std::vector<std::string>& args);

}  // namespace pyrrow::cli
