#include "console/man_page.h"

#include <cctype>

#include <CLI/CLI.hpp>

namespace pyrrow::console {
namespace {

// Text for roff: backslashes and minus signs escaped; a line that would
// start with a control character is guarded.
std::string Escaped(const std::string& text)
{
    std::string out;
    bool lineStart = true;
    for (const char c : text) {
        if (lineStart && (c == '.' || c == '\''))
            out += "\\&";
        lineStart = c == '\n';
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    return out;
}

// Prose on one output line: the line breaks of --help texts are not the page's.
std::string Filled(const std::string& text)
{
    std::string joined;
    for (const char c : text)
        joined += c == '\n' ? ' ' : c;
    while (!joined.empty() && joined.back() == ' ')
        joined.pop_back();
    return Escaped(joined);
}

std::string Preformatted(const std::string& text)
{
    std::string body = text;
    while (!body.empty() && body.back() == '\n')
        body.pop_back();
    return ".PP\n.nf\n" + Escaped(body) + "\n.fi\n";
}

bool Shown(const CLI::Option* option)
{
    return !option->get_group().empty();
}

std::string OptionTerm(const CLI::Option& option)
{
    std::string term;
    if (option.get_positional() && !option.nonpositional())
        return "\\fI" + Escaped(option.get_name(true)) + "\\fR";
    for (const std::string& name : option.get_snames())
        term += (term.empty() ? "" : ", ") + std::string("\\fB\\-") + Escaped(name) + "\\fR";
    for (const std::string& name : option.get_lnames())
        term += (term.empty() ? "" : ", ") + std::string("\\fB\\-\\-") + Escaped(name) + "\\fR";
    if (option.get_items_expected_max() > 0) {
        std::string type = option.get_type_name();
        term += " \\fI" + Escaped(type.empty() ? "VALUE" : type) + "\\fR";
    }
    return term;
}

std::string Options(const CLI::App& app)
{
    std::string out;
    for (const CLI::Option* option : app.get_options(Shown))
        out += ".TP\n" + OptionTerm(*option) + "\n" + Filled(option->get_description()) + "\n";
    return out;
}

std::string Usage(const CLI::App& app, const std::string& program)
{
    std::string line = "\\fB" + Escaped(program) + "\\fR";
    if (!app.get_options([](const CLI::Option* o) { return Shown(o) && o->nonpositional(); }).empty())
        line += " [\\fIOPTIONS\\fR]";
    for (const CLI::Option* option : app.get_options(Shown))
        if (option->get_positional() && !option->nonpositional())
            line += " [" + OptionTerm(*option) + "]";
    return line;
}

std::string Upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

std::string ManPage(const CLI::App& app, const ManPageHead& head)
{
    const std::string name = app.get_name();
    const auto subcommands = app.get_subcommands([](const CLI::App*) { return true; });
    std::string page = ".TH " + Escaped(Upper(name)) + " 1 \"\" \"Pyrrow " + Escaped(head.version) +
                       "\" \"User Commands\"\n";
    page += ".SH NAME\n" + Escaped(name) + " \\- " + Escaped(head.summary) + "\n";

    page += ".SH SYNOPSIS\n";
    if (subcommands.empty()) {
        page += Usage(app, name) + "\n";
    } else {
        bool first = true;
        for (const CLI::App* sub : subcommands) {
            page += (first ? "" : ".br\n") + Usage(app, name) + " " + Usage(*sub, sub->get_name()) + "\n";
            first = false;
        }
    }
    page += ".SH DESCRIPTION\n" + Filled(app.get_description()) + "\n";
    page += ".SH OPTIONS\n" + Options(app);
    if (!subcommands.empty()) {
        page += ".SH COMMANDS\n";
        for (const CLI::App* sub : subcommands) {
            page += ".SS " + Escaped(sub->get_name()) + "\n" + Filled(sub->get_description()) + "\n" + Options(*sub);
            if (!sub->get_footer().empty() && sub->get_footer() != app.get_footer())
                page += Preformatted(sub->get_footer());
        }
    }
    for (const ManSection& section : head.sections)
        page += ".SH " + Escaped(section.title) + "\n" + Preformatted(section.text);
    return page;
}

}  // namespace pyrrow::console
