// The command line of pyrrow-cli: the list and flash commands and their
// options, parsed into plain values (CLI11 does the parsing). Pure: nothing
// is opened or printed here.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/flash/device_uri.h"
#include "cli/output/record_tags.h"
#include "cli/station/mqtt_target.h"

namespace pyrrow::cli {

struct FlashOptions {
    std::string firmware;            // empty: the path of the settings file
    std::vector<DeviceUri> devices;  // empty: the link of the settings file
    std::string settings;
    bool quiet = false;
    bool json = false;
    double timeoutScale = 1.0;
    std::string trace;
    bool paceAck = false;
    // Waiting for units, the station mode and its record.
    bool wait = false;
    double waitTimeout = 0;  // seconds; 0: no limit
    bool repeat = false;
    unsigned count = 0;  // units per fixture; 0: until stopped
    std::string log;
    // What a line adds: the pinned image, tags, and the broker the records go to.
    std::string sha256;  // 64 hex digits or @FILE; empty: any image
    Tags tags;
    std::optional<MqttTarget> publish;
    std::string mqttLogin;  // a file; empty: the environment's login
};

// pyrrow-cli publish: logs' records sent to a broker afterwards.
struct PublishOptions {
    std::vector<std::string> logs;
    MqttTarget to;
    std::string mqttLogin;
};

// The report over stations' logs.
struct ReportOptions {
    std::vector<std::string> logs;
    bool json = false;
    std::string html;  // the page's file; empty: none
    std::optional<std::chrono::system_clock::time_point> since;
    std::optional<std::chrono::system_clock::time_point> until;
    std::vector<std::pair<std::string, std::string>> tags;  // KEY=VALUE, all to match
};

struct Invocation {
    enum class Command {
        List,
        Flash,
        Report,
        Publish,
        Done,  // help, version or a usage error: print and end with exitCode
    };
    Command command = Command::Done;
    int exitCode = 0;
    std::string output;  // for standard output (help, version)
    std::string error;   // for standard error
    bool listJson = false;
    FlashOptions flash;
    ReportOptions report;
    PublishOptions publish;
};

// The arguments without the program's name.
Invocation ParseArguments(const std::vector<std::string>& args);

// Why these devices and options do not go together (--pace ack is for TCP
// only, a unit named twice), or nothing.
std::optional<std::string> DeviceConflict(const FlashOptions& options);

}  // namespace pyrrow::cli
