// A manual page (man(7) roff) written from a program's CLI11 command line,
// so that the page lists exactly the options that --help lists.
#pragma once

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace pyrrow::console {

struct ManSection {
    std::string title;  // "EXIT STATUS"
    std::string text;   // plain text, shown as it is laid out
};

struct ManPageHead {
    std::string summary;  // the NAME line after the dash
    std::string version;  // "0.2.0"
    std::vector<ManSection> sections;  // after the options, in this order
};

// The page: NAME, SYNOPSIS, DESCRIPTION, OPTIONS, COMMANDS (each
// subcommand with its options and its footer), then the given sections.
// Hidden options (no group) are left out.
std::string ManPage(const CLI::App& app, const ManPageHead& head);

}  // namespace pyrrow::console
