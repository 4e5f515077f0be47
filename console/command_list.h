// What a program with commands (CLI11 subcommands) says when it is started
// without one: each command with its purpose, instead of a bare "a command is
// required".
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace pyrrow::console {

// "PROGRAM: give a command:", then each command on a line of its own with
// its description, aligned, then how to see a command's options. Ends with
// a line end.
std::string CommandList(const CLI::App& app);

}  // namespace pyrrow::console
