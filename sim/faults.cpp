#include "sim/faults.h"

#include <algorithm>

#include "console/text.h"

namespace pyrrow::sim {
namespace {

enum class Shape {
    Plain,         // name
    Value,         // name=N
    Factor,        // name=F
    AtFrame,       // name@frame=K
    ValueAtFrame,  // name=MS@frame=K
    AtBytes,       // name@bytes=N
};
// What follows the name, by shape.
constexpr std::string_view kShapeForms[] = {"", "=N", "=F", "@frame=K", "=MS@frame=K", "@bytes=N"};

constexpr unsigned LinkBit(Link link)
{
    return 1u << static_cast<unsigned>(link);
}
constexpr unsigned kTcp = LinkBit(Link::Tcp);
constexpr unsigned kSerial = LinkBit(Link::Serial);
constexpr unsigned kUsb = LinkBit(Link::Usb);

struct FaultForm {
    std::string_view name;
    FaultKind kind;
    Shape shape;
    std::uint64_t maxValue;  // of N or MS
    unsigned links;
    std::string_view help;
};

// Every fault the simulator knows: parsing, the links' checks and --help
// all read this table.
constexpr FaultForm kForms[] = {
    {"header:silent", FaultKind::HeaderSilent, Shape::Plain, 0, kTcp | kSerial | kUsb, "no answer to the header"},
    {"header:status", FaultKind::HeaderStatus, Shape::Value, 0xFFFF, kTcp,
     "the echo with the status word N (byte 28 high, byte 29 low)"},
    {"header:wrong-echo", FaultKind::HeaderWrongEcho, Shape::Plain, 0, kTcp, "the echo with its byte 15 changed"},
    {"header:split", FaultKind::HeaderSplit, Shape::Plain, 0, kTcp | kSerial,
     "the answer in two halves of 16 bytes, 250 ms apart"},
    {"header:length", FaultKind::HeaderLength, Shape::Value, 1024, kTcp | kSerial,
     "an answer of N bytes (the echo cut or padded with zeros)"},
    {"ack:short", FaultKind::AckShort, Shape::AtFrame, 0, kTcp, "frame K acknowledged with 5 bytes"},
    {"ack:drop", FaultKind::AckDrop, Shape::AtFrame, 0, kTcp, "frame K not acknowledged"},
    {"ack:delay", FaultKind::AckDelay, Shape::ValueAtFrame, 600000, kTcp, "frame K acknowledged MS milliseconds late"},
    {"link:reset", FaultKind::LinkReset, Shape::AtFrame, 0, kTcp, "the connection reset when frame K arrives"},
    {"link:close", FaultKind::LinkClose, Shape::AtBytes, 0, kTcp,
     "the connection closed once N bytes (header included) arrived"},
    {"link:hangup", FaultKind::LinkHangup, Shape::AtBytes, 0, kSerial | kUsb,
     "the device goes away once N bytes (header included) arrived"},
    {"busy", FaultKind::Busy, Shape::Plain, 0, kTcp | kSerial,
     "the port held: TCP refuses every connection, the serial port is locked"},
    {"slow", FaultKind::Slow, Shape::Factor, 0, kTcp | kSerial | kUsb, "every answer F x 100 ms late"},
};

std::string Form(const FaultForm& f)
{
    return std::string(f.name) + std::string(kShapeForms[static_cast<std::size_t>(f.shape)]);
}

// A whole number or a decimal one, the whole text.
template <class Number>
bool ParseNumber(std::string_view text, Number* value)
{
    const auto number = console::WholeTextNumber<Number>(text);
    *value = number.value_or(*value);
    return number.has_value();
}

// What a fault decides: two faults of one unit may not decide the same.
std::string Moment(const Fault& f)
{
    switch (f.kind) {
    case FaultKind::HeaderSilent:
    case FaultKind::HeaderStatus:
    case FaultKind::HeaderWrongEcho:
    case FaultKind::HeaderSplit:
    case FaultKind::HeaderLength:
        return "the header answer";
    case FaultKind::AckShort:
    case FaultKind::AckDrop:
    case FaultKind::AckDelay:
    case FaultKind::LinkReset:
        return "frame " + std::to_string(f.where);
    case FaultKind::LinkClose:
    case FaultKind::LinkHangup:
        return "the end of the link";
    case FaultKind::Busy:
        return "the port";
    case FaultKind::Slow:
        return "the answer time";
    }
    return {};
}

}  // namespace

std::string_view LinkName(Link link)
{
    switch (link) {
    case Link::Tcp:
        return "tcp";
    case Link::Serial:
        return "serial";
    case Link::Usb:
        return "usb";
    }
    return {};
}

ParsedFault ParseFault(std::string_view text, Link link)
{
    const std::string quoted = "fault \"" + std::string(text) + "\"";
    Fault fault{};
    fault.text = std::string(text);

    std::string_view rest = text;
    if (const auto at = rest.rfind("@unit="); at != std::string_view::npos) {
        std::uint64_t unit = 0;
        if (!ParseNumber(rest.substr(at + 6), &unit) || unit < 1 || unit > 10000)
            return {std::nullopt, quoted + ": the unit must be a number from 1"};
        fault.unit = static_cast<unsigned>(unit);
        rest = rest.substr(0, at);
    }
    std::string_view selector;
    if (const auto at = rest.find('@'); at != std::string_view::npos) {
        selector = rest.substr(at + 1);
        rest = rest.substr(0, at);
    }
    std::string_view value;
    bool hasValue = false;
    if (const auto eq = rest.find('='); eq != std::string_view::npos) {
        value = rest.substr(eq + 1);
        rest = rest.substr(0, eq);
        hasValue = true;
    }

    const FaultForm* form = nullptr;
    for (const FaultForm& f : kForms) {
        if (f.name == rest)
            form = &f;
    }
    if (form == nullptr)
        return {std::nullopt, "unknown " + quoted + " (see --help for the faults)"};
    fault.kind = form->kind;

    const bool wantsValue = form->shape == Shape::Value || form->shape == Shape::Factor ||
                            form->shape == Shape::ValueAtFrame;
    std::string_view selectorName;
    if (form->shape == Shape::AtFrame || form->shape == Shape::ValueAtFrame)
        selectorName = "frame=";
    else if (form->shape == Shape::AtBytes)
        selectorName = "bytes=";
    if (hasValue != wantsValue || selector.empty() != selectorName.empty() ||
        (!selectorName.empty() &&
         (!selector.starts_with(selectorName) || !ParseNumber(selector.substr(selectorName.size()), &fault.where))))
        return {std::nullopt, quoted + " must read " + Form(*form)};
    if (form->shape == Shape::Factor) {
        if (!ParseNumber(value, &fault.factor) || !(fault.factor > 0.0) || fault.factor > 1000.0)
            return {std::nullopt, quoted + ": F must be a number above 0 and at most 1000"};
    } else if (wantsValue) {
        if (!ParseNumber(value, &fault.value) || fault.value > form->maxValue) {
            return {std::nullopt, quoted + ": " + (form->shape == Shape::ValueAtFrame ? "MS" : "N") + " must be 0 to " +
                     std::to_string(form->maxValue)};
        }
    }
    if ((form->links & LinkBit(link)) == 0)
        return {std::nullopt, quoted + " is not offered on the " + std::string(LinkName(link)) + " link"};
    return {fault, {}};
}

std::string FaultsDisagree(const std::vector<Fault>& faults)
{
    for (std::size_t i = 0; i < faults.size(); ++i) {
        for (std::size_t j = i + 1; j < faults.size(); ++j) {
            const Fault& a = faults[i];
            const Fault& b = faults[j];
            const bool sameUnits = !a.unit || !b.unit || *a.unit == *b.unit;
            if (sameUnits && Moment(a) == Moment(b))
                return "faults \"" + a.text + "\" and \"" + b.text + "\" both decide " + Moment(a);
        }
    }
    return {};
}

std::string FaultHelp()
{
    std::string text;
    for (const FaultForm& f : kForms) {
        std::string line = "  " + Form(f);
        line.resize(std::max<std::size_t>(line.size() + 1, 24), ' ');
        std::string links;
        for (const Link l : {Link::Tcp, Link::Serial, Link::Usb}) {
            if ((f.links & LinkBit(l)) != 0) {
                if (!links.empty())
                    links += ',';
                links += LinkName(l);
            }
        }
        text += line + "[" + links + "] " + std::string(f.help) + "\n";
    }
    return text;
}

FaultPlan::FaultPlan(const std::vector<Fault>& faults, unsigned unit)
{
    for (const Fault& f : faults) {
        if (!f.unit || *f.unit == unit)
            m_faults.push_back(f);
    }
}

const Fault* FaultPlan::Find(bool (*matches)(FaultKind)) const
{
    for (const Fault& f : m_faults) {
        if (matches(f.kind))
            return &f;
    }
    return nullptr;
}

const Fault* FaultPlan::Header() const
{
    return Find([](FaultKind k) {
        return k == FaultKind::HeaderSilent || k == FaultKind::HeaderStatus || k == FaultKind::HeaderWrongEcho ||
               k == FaultKind::HeaderSplit || k == FaultKind::HeaderLength;
    });
}

const Fault* FaultPlan::Frame(std::uint64_t frame) const
{
    for (const Fault& f : m_faults) {
        const bool frameFault = f.kind == FaultKind::AckShort || f.kind == FaultKind::AckDrop ||
                                f.kind == FaultKind::AckDelay || f.kind == FaultKind::LinkReset;
        if (frameFault && f.where == frame)
            return &f;
    }
    return nullptr;
}

const Fault* FaultPlan::AfterBytes() const
{
    return Find([](FaultKind k) { return k == FaultKind::LinkClose || k == FaultKind::LinkHangup; });
}

const Fault* FaultPlan::Busy() const
{
    return Find([](FaultKind k) { return k == FaultKind::Busy; });
}

const Fault* FaultPlan::Slow() const
{
    return Find([](FaultKind k) { return k == FaultKind::Slow; });
}

double FaultPlan::SlowFactor() const
{
    const Fault* f = Slow();
    return f != nullptr ? f->factor : 0.0;
}

}  // namespace pyrrow::sim
