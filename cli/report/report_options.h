// The report command on the command line of pyrrow-cli: its options added
// to the program's CLI11 command line, and read back once it has parsed.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "cli/options.h"

namespace CLI {
class App;
}

namespace pyrrow::cli {

class ReportCommand {
public:
    // Adds the command "report" to app, which must outlive this.
    explicit ReportCommand(CLI::App& app);
    ReportCommand(const ReportCommand&) = delete;
    ReportCommand& operator=(const ReportCommand&) = delete;

    bool Parsed() const;
    // The options as given, or why they cannot be (a usage error).
    std::variant<ReportOptions, std::string> Options() const;

private:
    CLI::App* m_command = nullptr;
    std::vector<std::string> m_logs;
    bool m_json = false;
    std::string m_html;
    std::string m_since;
    std::string m_until;
    std::vector<std::string> m_tags;
};

}  // namespace pyrrow::cli
