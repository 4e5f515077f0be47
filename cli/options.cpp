#include "cli/options.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>

#include <CLI/CLI.hpp>

#include "cli/exit_codes.h"
#include "cli/flash/firmware_pin.h"
#include "cli/output/progress.h"
#include "cli/report/report_options.h"
#include "cli/unknown_option.h"
#include "console/command_list.h"
#include "console/decimal_number.h"
#include "console/man_page.h"
#include "res/version.h"

namespace pyrrow::cli {
namespace {

// flash and publish read the broker's login the same way.
constexpr const char* kMqttLoginHelp =
    "The broker's user name (first line) and password (second line) from FILE; default: PYRROW_MQTT_USER and "
    "PYRROW_MQTT_PASSWORD, else none";

Invocation Usage(std::string message)
{
    Invocation invocation;
    invocation.exitCode = kExitUsage;
    invocation.error = "pyrrow-cli: " + std::move(message) + "\nRun with --help for more information.\n";
    return invocation;
}

// A usage error that says it in JSON too when --json was asked for, and
// starts with the program's name.
Invocation Framed(Invocation invocation, const std::vector<std::string>& args)
{
    if (invocation.exitCode != kExitUsage)
        return invocation;
    std::string& error = invocation.error;
    if (error.rfind("pyrrow-cli: ", 0) != 0)
        error = "pyrrow-cli: " + error;
    if (std::find(args.begin(), args.end(), "--json") != args.end()) {
        const std::string message = error.substr(12, error.find('\n') - 12);
        invocation.output = RunFailureJson(0, kExitUsage, "usage", message) + "\n";
    }
    return invocation;
}

Invocation Parse(const std::vector<std::string>& args);

// A command's "Exit codes:" table made one sentence ("Exit codes: 0 the
// report was printed; 2 usage: ..."): the manual page keeps each number
// in one table only.
std::string ExitCodesAsSentence(const std::string& footer)
{
    const std::size_t table = footer.find("Exit codes:\n");
    if (table == std::string::npos)
        return footer;
    std::string sentence = footer.substr(0, table) + "Exit codes:";
    std::istringstream rows(footer.substr(table + 12));
    const char* separator = " ";
    for (std::string row; std::getline(rows, row);) {
        const std::size_t text = row.find_first_not_of(' ');
        if (text == std::string::npos)
            continue;
        const bool numbered = std::isdigit(static_cast<unsigned char>(row[text])) != 0;
        sentence += (numbered ? separator : " ") + row.substr(text);
        separator = "; ";
    }
    return sentence + ".\n";
}

}  // namespace

Invocation ParseArguments(const std::vector<std::string>& args)
{
    return Framed(Parse(args), args);
}

std::optional<std::string> DeviceConflict(const FlashOptions& options)
{
    std::set<std::string> seen;
    for (const DeviceUri& device : options.devices) {
        if (options.paceAck && device.link != DeviceUri::Link::Tcp)
            return "--pace ack is for TCP units only, and " + device.text + " is not one";
        if (!seen.insert(device.text).second)
            return "--device " + device.text + " is given twice";
    }
    return std::nullopt;
}

namespace {

Invocation Parse(const std::vector<std::string>& args)
{
    CLI::App app{"Uploads firmware into control units over a serial line, TCP or USB HID, without a window.",
                 "pyrrow-cli"};
    app.set_version_flag("--version", std::string("pyrrow-cli ") + res::kVersion);
    app.require_subcommand(1, 1);
    app.footer(ExitCodeTable());

    bool listJson = false;
    CLI::App* list = app.add_subcommand("list", "List the serial ports and USB units, whether they can be opened, "
                                                "and the --device text that selects each");
    list->add_flag("--json", listJson, "One JSON object per line on standard output");
    list->footer("Exit codes:\n"
                 "    0  the list was printed (also when nothing is attached)\n"
                 "    2  usage: an unknown option\n");

    FlashOptions options;
    std::vector<std::string> deviceTexts;
    std::string pace = "protocol";
    CLI::App* flash = app.add_subcommand("flash", "Upload FILE into one or more units; several --device options "
                                                  "flash in parallel");
    const std::string numbers = "Numbers are decimal (3, 2.5, 1e3); nan, inf and hexadecimal (0x3) are refused.\n";
    flash->footer(numbers + "\n" + ExitCodeTable());
    flash->add_option("FILE", options.firmware, "The firmware file (default: the path of --settings)")
        ->type_name("");
    flash->add_option("-d,--device", deviceTexts,
                      "The unit, as a device text: serial:/dev/ttyUSB0, serial:ttyUSB0, serial:COM3, "
                      "tcp:ADDRESS[:PORT] (port 1998 unless given), usb, usb:serial=SN, usb:path=PATH; repeat for "
                      "several units")
        ->type_name("DEVICE")
        ->allow_extra_args(false);
    flash->add_option("--settings", options.settings,
                      "Take link, port or address and firmware path from this settings file of the window "
                      "(read only); options given here win")
        ->type_name("FILE");
    flash->add_flag("-q,--quiet", options.quiet, "Print only the results");
    flash->add_flag("--json", options.json,
                    "Standard output carries only JSON, one object per line; human text goes to standard error");
    flash->add_option("--timeout-scale", options.timeoutScale,
                      "Stretch the protocol's time-outs by F, from 0.01 to 100, for slow links (the pacing "
                      "stays)")
        ->type_name("F")
        ->check(console::DecimalNumber(0.01, 100));
    flash->add_option("--trace", options.trace, "Write every exchange as JSON lines into FILE")->type_name("FILE");
    flash->add_option("--pace", pace,
                      "TCP only: 'ack' sends the next frame as soon as the acknowledgement has arrived; "
                      "'protocol' (default) keeps the fixed 100 ms pause")
        ->type_name("protocol|ack")
        ->check(CLI::IsMember({"protocol", "ack"}).description(""));

    flash->add_flag("--wait", options.wait,
                    "Wait for each unit instead of failing because it is not there yet: serial, until the path "
                    "exists and opens; USB, until a matching unit is attached; TCP, until the address accepts "
                    "the upload's connection (tried every 0.5 s)");
    CLI::Option* waitTimeout =
        flash->add_option("--wait-timeout", options.waitTimeout,
                          "With --wait or --repeat: give up waiting for a unit after SECONDS, from 0.1 to "
                          "10000000 (exit 5 when no "
                          "unit came at all; with --repeat a fixture whose next unit does not come in time ends); "
                          "the wait for a unit to be taken out has no limit; default: no limit")
            ->type_name("SECONDS")
            ->check(console::DecimalNumber(0.1, 1e7, "seconds"));
    flash->add_flag("--repeat", options.repeat,
                    "Station mode (implies --wait): after each unit, flashed or failed, wait for it to be taken "
                    "out, then for the next; each --device is a fixture of its own; ends on SIGINT/SIGTERM "
                    "(Ctrl+C) or after --count units; exit 0 when every unit was flashed, 14 when some failed, "
                    "130 when stopped");
    CLI::Option* count = flash->add_option("--count", options.count,
                                           "With --repeat: stop after N units per fixture (N from 1 to 4000000000)")
                             ->type_name("N")
                             ->check(console::WholeNumber(1, 4000000000));
    flash->add_option("--log", options.log,
                      "Append one JSON line per unit to FILE (times in UTC, host, fixture, unit, firmware path, "
                      "size and SHA-256, result, bytes sent, duration), synced before the next unit; FILE must "
                      "be a regular file, new, empty or a log of earlier runs, and not the firmware, settings or "
                      "trace; a log removed or renamed meanwhile is made anew at FILE; a record that cannot be "
                      "written stops the station (exit 12); a unit that never came is not recorded")
        ->type_name("FILE");
    std::vector<std::string> tagTexts;
    std::string publishText;
    flash->add_option("--sha256", options.sha256,
                      "Flash FILE only when its SHA-256 is HEX (64 hex digits), or the one that @DIGESTS, a "
                      "file as sha256sum writes it, gives for FILE; any other file is refused before a unit is "
                      "touched (exit 15)")
        ->type_name("HEX|@DIGESTS");
    flash->add_option("--tag", tagTexts,
                      "KEY=VALUE carried in every record and JSON event (lot, work order, operator, station); "
                      "KEY: 1 to 32 lower-case letters, digits and _; VALUE: 1 to 256 bytes of UTF-8; repeat "
                      "for several")
        ->type_name("KEY=VALUE")
        ->allow_extra_args(false);
    flash->add_option("--publish", publishText,
                      "With --log: publish each record, once in the log, to the MQTT broker (QoS 1, topic "
                      "PREFIX/records) and the station's status (retained, PREFIX/status; \"offline\" when it "
                      "dies); mqtts:// for TLS with the system's certificate authorities; a broker that is away "
                      "never stops the station, and records it did not acknowledge are counted at the end (Linux "
                      "only)")
        ->type_name("mqtt://HOST[:PORT]/PREFIX");
    flash->add_option("--mqtt-login", options.mqttLogin, kMqttLoginHelp)->type_name("FILE");

    PublishOptions publishOptions;
    std::string toText;
    CLI::App* publish = app.add_subcommand("publish", "Send the records of station logs to an MQTT broker "
                                                      "afterwards (QoS 1, topic PREFIX/records; consumers drop "
                                                      "a record they already have by its id) (Linux only)");
    publish->add_option("LOG", publishOptions.logs, "The --log files of stations")->type_name("")->required();
    publish->add_option("--to", toText, "The broker and the topics' prefix")
        ->type_name("mqtt://HOST[:PORT]/PREFIX")
        ->required();
    publish->add_option("--mqtt-login", publishOptions.mqttLogin, kMqttLoginHelp)->type_name("FILE");
    publish->footer("Exit codes:\n"
                    "    0  every record was acknowledged by the broker\n"
                    "    2  usage: bad or missing options\n"
                    "   11  some record was not acknowledged (the broker could not be reached or did not answer)\n"
                    "   12  a LOG could not be read, or holds lines that are no records (the others were sent)\n");

    const ReportCommand report(app);

    // Undocumented: the manual page, written at build time from these tables.
    if (args.size() == 1 && args.front() == "--man") {
        // Each exit code once, in EXIT STATUS, for both commands.
        flash->footer(numbers);
        list->footer("");
        // The other commands' own codes as sentences, so that the table
        // stays the one place of each number.
        for (CLI::App* command : {publish, app.get_subcommand("report")})
            command->footer(ExitCodesAsSentence(command->get_footer()));
        Invocation invocation;
        invocation.output = console::ManPage(
            app, {"upload firmware into control units without a window", res::kVersion,
                  {{"EXIT STATUS", ExitCodeTable(true)}}});
        return invocation;
    }
    if (const auto unknown = UnknownArgument(app, args);
        unknown && std::find(args.begin(), args.end(), "--help") == args.end())
        return Usage(*unknown);
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        Invocation invocation;
        if (dynamic_cast<const CLI::RequiredError*>(&e) != nullptr && app.get_subcommands().empty()) {
            invocation.exitCode = kExitUsage;
            invocation.error = console::CommandList(app);
            return invocation;
        }
        std::ostringstream out;
        std::ostringstream err;
        const int code = app.exit(e, out, err);
        invocation.exitCode = code == 0 ? kExitOk : kExitUsage;
        invocation.output = out.str();
        invocation.error = err.str();
        return invocation;
    }

    Invocation invocation;
    if (list->parsed()) {
        invocation.command = Invocation::Command::List;
        invocation.listJson = listJson;
        return invocation;
    }
    if (report.Parsed()) {
        auto parsed = report.Options();
        if (const auto* problem = std::get_if<std::string>(&parsed))
            return Usage(*problem);
        invocation.command = Invocation::Command::Report;
        invocation.report = std::move(std::get<ReportOptions>(parsed));
        return invocation;
    }
    if (publish->parsed()) {
        const ParsedMqttTarget to = ParseMqttTarget(toText);
        if (!to.target)
            return Usage("publish: --to " + to.problem);
        for (const std::string& log : publishOptions.logs)
            if (log.empty())
                return Usage("publish: a LOG is empty; give a file name (is a variable unset?)");
        if (publish->get_option("--mqtt-login")->count() > 0 && publishOptions.mqttLogin.empty())
            return Usage("publish: --mqtt-login is empty; give a file name (is a variable unset?)");
        publishOptions.to = *to.target;
        invocation.command = Invocation::Command::Publish;
        invocation.publish = std::move(publishOptions);
        return invocation;
    }
    for (const std::string& text : deviceTexts) {
        const ParsedDeviceUri parsed = ParseDeviceUri(text);
        if (!parsed.uri)
            return Usage(parsed.problem);
        options.devices.push_back(*parsed.uri);
    }
    // An empty name is an unset variable in a script: it must not quietly
    // mean "no file" (no record kept) or "the settings' firmware".
    for (const char* name : {"FILE", "--settings", "--trace", "--log", "--mqtt-login"})
        if (const CLI::Option* named = flash->get_option(name); named->count() > 0 && named->as<std::string>().empty())
            return Usage(std::string("flash: ") + name + " is empty; give a file name (is a variable unset?)");
    for (const std::string& text : tagTexts)
        if (auto problem = AddTag(options.tags, text))
            return Usage("flash: " + *problem);
    if (!options.sha256.empty() && options.sha256.front() != '@' && !IsSha256Hex(options.sha256))
        return Usage("flash: --sha256 " + options.sha256 + ": give 64 hex digits, or @FILE of sha256sum");
    if (options.sha256 == "@" || (flash->get_option("--sha256")->count() > 0 && options.sha256.empty()))
        return Usage("flash: --sha256 is empty; give the digest or @FILE (is a variable unset?)");
    if (!publishText.empty()) {
        const ParsedMqttTarget target = ParseMqttTarget(publishText);
        if (!target.target)
            return Usage("flash: --publish " + target.problem);
        if (options.log.empty())
            return Usage("flash: --publish needs --log, the record of truth that a broker away cannot lose");
        options.publish = target.target;
    } else if (flash->get_option("--publish")->count() > 0) {
        return Usage("flash: --publish is empty; give mqtt://HOST/PREFIX (is a variable unset?)");
    }
    if (flash->get_option("--mqtt-login")->count() > 0 && !options.publish)
        return Usage("flash: --mqtt-login is for --publish");
    options.paceAck = pace == "ack";
    if (options.repeat)
        options.wait = true;
    if (count->count() > 0 && !options.repeat)
        return Usage("flash: --count is for --repeat");
    if (waitTimeout->count() > 0 && !options.wait)
        return Usage("flash: --wait-timeout is for --wait or --repeat");
    if (options.firmware.empty() && options.settings.empty())
        return Usage("flash: give the firmware FILE (or --settings with a file path)");
    if (options.devices.empty() && options.settings.empty())
        return Usage("flash: give at least one --device (or --settings with a link)");
    if (auto conflict = DeviceConflict(options))
        return Usage("flash: " + *conflict);
    invocation.command = Invocation::Command::Flash;
    invocation.flash = std::move(options);
    return invocation;
}

}  // namespace

}  // namespace pyrrow::cli
