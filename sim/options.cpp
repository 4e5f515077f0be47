#include "sim/options.h"

#include <ostream>
#include <string_view>

#include <CLI/CLI.hpp>

#include "console/command_list.h"
#include "console/decimal_number.h"
#include "console/man_page.h"
#include "console/text.h"

namespace pyrrow::sim {
namespace {

// "HOST:PORT", "HOST" or ":PORT"; false when the port is no number up to 65535.
bool ParseListen(const std::string& text, Options* options)
{
    const auto colon = text.rfind(':');
    const std::string host = text.substr(0, colon);
    if (!host.empty())
        options->host = host;
    if (colon == std::string::npos)
        return !host.empty();
    const std::string port = text.substr(colon + 1);
    const auto value = console::WholeTextNumber<unsigned>(port);
    if (!value || *value > 65535)
        return false;
    options->port = static_cast<std::uint16_t>(*value);
    return true;
}

// The options of the program itself, which every link takes (before or after
// its name), laid out as CLI11 lays out a link's own.
std::string CommonOptionsHelp(const CLI::App& app)
{
    std::string text = "Options of every link (before or after its name):\n";
    for (const CLI::Option* option : app.get_options()) {
        const std::string name = option->get_name();
        if (name == "--help" || name == "--version")
            continue;
        std::string left = "  " + name;
        if (option->get_items_expected_max() > 0)
            left += " " + option->get_type_name();
        left += left.size() < 30 ? std::string(30 - left.size(), ' ') : "\n" + std::string(30, ' ');
        text += left + option->get_description() + "\n";
    }
    return text;
}

}  // namespace

ParsedOptions ParseOptions(int argc, const char* const* argv, std::ostream& out, std::ostream& err)
{
    Options options;
    std::vector<std::string> faults;
    std::string listen;

    CLI::App app{"pyrrow-sim: plays control units for Pyrrow on TCP, a serial line or USB, with faults on demand, "
                 "and records what they received.",
                 "pyrrow-sim"};
    app.set_version_flag("--version", std::string("pyrrow-sim ") + PYRROW_VERSION);
    app.require_subcommand(1);
    app.fallthrough();
    app.add_option("--fault", faults, "make a fault (repeatable; FAULTS in pyrrow-sim --help lists them)")
        ->type_name("FAULT")
        ->allow_extra_args(false);
    app.add_option("--store", options.storeDir,
                   "write each image whose upload ended in order into DIR, as <unit>_<UTC time>.fw (never over "
                   "a file that is there)")
        ->type_name("DIR");
    app.add_option("--trace", options.traceFile,
                   "write every exchange to FILE as JSON lines (a file there is replaced only when it is empty "
                   "or a trace of ours)")
        ->type_name("FILE");
    app.add_option("--expect", options.expectFile,
                   "the image the program should send: each upload's line says whether exactly FILE arrived, "
                   "and the exit code is 0 only when every upload was FILE")
        ->type_name("FILE");
    app.add_flag("--once", options.once,
                 "end after one upload per unit: exit 0 when every upload ended in order (and was the "
                 "--expect image), 1 otherwise. Over a serial line a program stopped between two blocks ends "
                 "in order too: only --expect tells whether the image arrived whole");
    CLI::Option* units =
        app.add_option("--units", options.units,
                       "play a production line: each unit takes one upload, goes away (the TCP port closes, the "
                       "serial link is removed) and after --gap a new one takes its place; end after N units "
                       "per place (N from 1 to 1000000), with the exit code of --once for all of them")
            ->type_name("N")
            ->check(console::WholeNumber(1, 1000000));
    app.add_option("--gap", options.gap,
                   "seconds a unit of --units stays away before the next comes, 0 to 3600 (default 1; 0: at once). A "
                   "pyrrow-cli station takes a TCP unit for gone once its port has refused connections for "
                   "0.5 s, so over TCP give it at least 0.5 when a station is to see each unit leave")
        ->type_name("SECONDS")
        ->option_text("SECONDS")  // CLI11's "Needs: --units" would push the text onto a line of its own
        ->check(console::DecimalNumber(0, 3600, "seconds"))
        ->needs(units);
    app.add_flag("--json", options.json, "print a JSON summary of all uploads on standard output at the end");
    const std::string output =
        "The units' addresses (TCP) or port path (serial) are the first lines on standard output, and each\n"
        "unit of --units that comes later prints its own; with --json the summary is the last line.\n"
        "Numbers are decimal (3, 0.5, 1e3); nan, inf and hexadecimal (0x3) are refused.\n";
    const std::string exitCodes =
        "Exit codes: 0 done, 1 an upload ended out of order (a stop that cut one included), was not the\n"
        "--expect image, or a unit of --once or --units had none, 2 usage or set-up error, 3 an image could\n"
        "not be stored or the trace written, 130 a second stop request ended it at once. SIGINT, SIGTERM,\n"
        "SIGHUP and SIGQUIT stop it with its summary; a summary nobody reads within 5 s is left out.\n";
    const std::string faultsIntro = "K counts frames from 0; append @unit=N to make only unit N do it, with "
                                    "--units the N-th unit to come to each place:\n";
    app.footer(output + exitCodes + "\nFAULTS (" + faultsIntro.substr(0, faultsIntro.size() - 2) + "):\n" +
               FaultHelp());

    CLI::App* tcp = app.add_subcommand("tcp", "TCP units on consecutive ports");
    tcp->add_option("--listen", listen,
                    "address and first port (default 127.0.0.1:1998 or the next free port; port 0: the system "
                    "chooses)")
        ->type_name("ADDR:PORT");
    tcp->add_option("--count", options.count, "number of units, 1 to 64 (default 1)")
        ->type_name("N")
        ->check(console::WholeNumber(1, 64));
    tcp->add_option("--idle-timeout", options.idleTimeout,
                    "close a connection that brings nothing for SECONDS, 0 to 86400 (default 30; 0: never); a program that "
                    "connects while a unit is busy waits its turn")
        ->type_name("SECONDS")
        ->check(console::DecimalNumber(0, 86400, "seconds"));

    CLI::App* serial = app.add_subcommand(
        "serial", "a unit on a pseudo-terminal, whose path is printed, or on the port given with --port");
    CLI::Option* link =
        serial->add_option("--link", options.linkPath, "also make a symbolic link to the pseudo-terminal at PATH")
            ->type_name("PATH")
            ->option_text("PATH");
    serial
        ->add_option("--port", options.serialPort,
                     "play the unit on this port instead, one end of a null-modem pair whose other end the program "
                     "opens (COM9 on Windows, where there are no pseudo-terminals; a tty path elsewhere); an "
                     "upload there ends when the line has been quiet for 1 s")
        ->type_name("PORT")
        ->option_text("PORT")
        ->excludes(link);
    serial->add_flag("--line-rate", options.lineRate,
                     "take the bytes no faster than a UART at 115200 bit/s 8N1 (a pseudo-terminal has no rate)");

    CLI::App* usb = app.add_subcommand("usb", "a USB HID unit 0483:A151 through /dev/uhid");
    usb->add_option("--uhid", options.uhidPath, "the user-space HID device (default /dev/uhid)")->type_name("PATH");

    // Undocumented: the manual page, written at build time from these tables.
    if (argc == 2 && std::string_view(argv[1]) == "--man") {
        out << console::ManPage(app, {"play control units for trying Pyrrow without one", PYRROW_VERSION,
                                  {{"STANDARD OUTPUT", output},
                                   {"EXIT STATUS", exitCodes},
                                   {"FAULTS", faultsIntro + FaultHelp()}}});
        return {std::nullopt, kExitOk};
    }
    // A link's help shows the options every link takes, which CLI11 keeps
    // with the program, and leaves the table of faults to the program's help.
    const std::string common = CommonOptionsHelp(app);
    for (CLI::App* sub : {tcp, serial, usb})
        sub->footer(common + "\n" + output + exitCodes);
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return {std::nullopt, app.exit(e, out, err)};
    } catch (const CLI::ParseError& e) {
        if (dynamic_cast<const CLI::RequiredError*>(&e) != nullptr && app.get_subcommands().empty())
            err << console::CommandList(app);
        else
            app.exit(e, out, err);
        return {std::nullopt, kExitUsage};
    }

    const auto usage = [&err](const std::string& why) {
        err << "pyrrow-sim: " << why << "\n";
        return ParsedOptions{std::nullopt, kExitUsage};
    };
    // An empty name is an unset variable in a script: --expect "" would
    // pass any image, --store "" store nothing.
    for (const CLI::Option* named : {app.get_option("--store"), app.get_option("--trace"), app.get_option("--expect"),
                                     serial->get_option("--link"), serial->get_option("--port"),
                                     usb->get_option("--uhid")})
        if (named->count() > 0 && named->as<std::string>().empty())
            return usage(named->get_name() + " is empty; give a name (is a variable unset?)");
    options.link = tcp->parsed() ? Link::Tcp : serial->parsed() ? Link::Serial : Link::Usb;
    if (options.units != 0 && !options.serialPort.empty())
        return usage("--units needs the pseudo-terminal: a port named with --port cannot go away and come back");
    if (!listen.empty() && !ParseListen(listen, &options))
        return usage("--listen " + listen + ": give ADDR:PORT with a port from 0 to 65535");
    for (const std::string& text : faults) {
        auto [fault, error] = ParseFault(text, options.link);
        // With --units, N counts the units that come to a place.
        const unsigned unitCount = options.units != 0 ? options.units : options.count;
        if (fault && fault->unit && *fault->unit > unitCount)
            error = "fault \"" + text + "\" names unit " + std::to_string(*fault->unit) + " of " +
                    std::to_string(unitCount);
        if (!fault || !error.empty())
            return usage(error);
        options.faults.push_back(std::move(*fault));
    }
    if (const std::string error = FaultsDisagree(options.faults); !error.empty())
        return usage(error);
    return {std::move(options), kExitOk};
}

}  // namespace pyrrow::sim
