// pyrrow-cli run as a child process of a test: its exit code, standard
// output and standard error, and its JSON lines.
#pragma once

#include <sys/types.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/json_schema.h"

namespace pyrrow::test {

using nlohmann::json;

struct CliOutcome {
    int exitCode = -1;
    std::string out;
    std::string err;

    std::vector<json> Events() const
    {
        std::vector<json> events;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);)
            events.push_back(json::parse(WithBytesReplaced(line)));  // anything but JSON lines fails the test
        return events;
    }
    std::vector<json> Results() const
    {
        std::vector<json> results;
        for (const json& event : Events())
            if (event.at("event") == "result")
                results.push_back(event);
        return results;
    }
};

// Runs pyrrow-cli with the arguments; onOutput sees standard output as it
// grows and may signal the process through the pid it is given; launcher
// (a program found on PATH and its arguments) runs pyrrow-cli when given.
// With --json, every line is checked against the documented schema.
CliOutcome RunCli(std::vector<std::string> args,
                  const std::function<void(const std::string& out, pid_t pid)>& onOutput = {},
                  const std::vector<std::string>& launcher = {});

}  // namespace pyrrow::test
