#include "cli/unknown_option.h"

#include <algorithm>

namespace pyrrow::cli {
namespace {

std::size_t EditDistance(const std::string& a, const std::string& b)
{
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The name among names nearest to given (a slip of one or two letters), or
// nothing when none is that near.
std::optional<std::string> NearestName(const std::string& given, const std::vector<std::string>& names)
{
    std::optional<std::string> nearest;
    std::size_t best = std::max<std::size_t>(2, given.size() / 3) + 1;
    for (const std::string& name : names)
        if (const std::size_t distance = EditDistance(given, name); distance < best) {
            best = distance;
            nearest = name;
        }
    return nearest;
}

std::string Unknown(const char* what, const std::string& given, const std::vector<std::string>& names)
{
    const auto nearest = NearestName(given, names);
    return std::string("unknown ") + what + " " + given + (nearest ? "; did you mean " + *nearest + "?" : "");
}

// "--device", "-d" and so on of one command.
std::vector<std::string> OptionNames(const CLI::App& command)
{
    std::vector<std::string> names;
    for (const CLI::Option* option : command.get_options()) {
        for (const std::string& name : option->get_lnames())
            names.push_back("--" + name);
        for (const std::string& name : option->get_snames())
            names.push_back("-" + name);
    }
    return names;
}

const CLI::Option* FindOption(const CLI::App& command, const std::string& name)
{
    for (const CLI::Option* option : command.get_options()) {
        const auto& names = name.size() == 1 ? option->get_snames() : option->get_lnames();
        if (std::find(names.begin(), names.end(), name) != names.end())
            return option;
    }
    return nullptr;
}

}  // namespace

std::optional<std::string> UnknownArgument(const CLI::App& app, const std::vector<std::string>& args)
{
    const CLI::App* command = &app;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--")
            return std::nullopt;  // only values follow
        const bool isLong = arg.rfind("--", 0) == 0;
        const bool isShort = !isLong && arg.size() > 1 && arg[0] == '-' && !(arg[1] >= '0' && arg[1] <= '9');
        if (!isLong && !isShort) {
            if (command != &app)
                continue;  // a value of the command (FILE)
            std::vector<std::string> names;
            for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
                names.push_back(sub->get_name());
                if (sub->get_name() == arg)
                    command = sub;
            }
            if (command == &app)
                return Unknown("command", arg, names);
            continue;
        }
        const std::string name = isLong ? arg.substr(2, arg.find('=') - 2) : arg.substr(1, 1);
        const CLI::Option* option = FindOption(*command, name);
        if (option == nullptr)
            return Unknown("option", isLong ? "--" + name : arg, OptionNames(*command));
        // Its value follows unless it is joined to it ("--trace=t", "-dusb").
        const bool joined = isLong ? arg.find('=') != std::string::npos : arg.size() > 2;
        if (option->get_type_size_max() > 0 && !joined)
            ++i;
    }
    return std::nullopt;
}

}  // namespace pyrrow::cli
