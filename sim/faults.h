// The faults a simulated unit can be told to make, as given on the command
// line ("ack:short@frame=3", "slow=2.5", each optionally "...@unit=N"), and
// the plan one unit follows: which fault, if any, applies to its header
// answer, to a frame, after a byte count.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pyrrow::sim {

enum class Link { Tcp, Serial, Usb };

std::string_view LinkName(Link link);

enum class FaultKind {
    HeaderSilent,     // header:silent
    HeaderStatus,     // header:status=N
    HeaderWrongEcho,  // header:wrong-echo
    HeaderSplit,      // header:split
    HeaderLength,     // header:length=N
    AckShort,         // ack:short@frame=K
    AckDrop,          // ack:drop@frame=K
    AckDelay,         // ack:delay=MS@frame=K
    LinkReset,        // link:reset@frame=K
    LinkClose,        // link:close@bytes=N
    LinkHangup,       // link:hangup@bytes=N
    Busy,             // busy
    Slow,             // slow=F
};

struct Fault {
    FaultKind kind;
    std::string text;          // as given, for the trace and the summary
    std::uint64_t value = 0;   // N of status and length, MS of delay
    double factor = 1.0;       // F of slow
    std::uint64_t where = 0;   // K of @frame, N of @bytes
    std::optional<unsigned> unit;  // @unit=N: only that unit (counted from 1)
};

// One fault for the given link, or the problem when the text is no fault,
// its number is out of range or the link does not offer it.
struct ParsedFault {
    std::optional<Fault> fault;
    std::string problem;
};
ParsedFault ParseFault(std::string_view text, Link link);

// Why two faults of the list claim the same moment of the same unit (two
// header answers, two faults for one frame, ...), or "" when none do.
std::string FaultsDisagree(const std::vector<Fault>& faults);

// One line per fault for --help: its form, the links that offer it and what it does.
std::string FaultHelp();

// The faults that one unit makes.
class FaultPlan {
public:
    FaultPlan() = default;
    FaultPlan(const std::vector<Fault>& faults, unsigned unit);

    // The fault of the header answer, if any (silent, status, wrong echo,
    // split or length).
    const Fault* Header() const;
    // The fault for the frame numbered frame (from 0): short, dropped or
    // delayed acknowledgement, or a reset.
    const Fault* Frame(std::uint64_t frame) const;
    // The fault that ends the link after a number of received bytes.
    const Fault* AfterBytes() const;
    const Fault* Busy() const;
    // Every answer waits this many times the unit's answer time (0: none).
    double SlowFactor() const;
    const Fault* Slow() const;

private:
    const Fault* Find(bool (*matches)(FaultKind)) const;

    std::vector<Fault> m_faults;
};

}  // namespace pyrrow::sim
