#include "console/command_list.h"

#include <algorithm>

#include <CLI/CLI.hpp>

namespace pyrrow::console {

std::string CommandList(const CLI::App& app)
{
    const std::string program = app.get_name();
    const auto commands = app.get_subcommands([](const CLI::App*) { return true; });
    std::size_t width = 0;
    for (const CLI::App* command : commands)
        width = std::max(width, command->get_name().size());
    std::string text = program + ": give a command:\n";
    for (const CLI::App* command : commands) {
        const std::string& name = command->get_name();
        text += "  " + name + std::string(width - name.size() + 3, ' ') + command->get_description() + "\n";
    }
    return text + "'" + program + " COMMAND --help' shows a command's options.\n";
}

}  // namespace pyrrow::console
