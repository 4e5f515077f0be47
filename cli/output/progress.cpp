#include "cli/output/progress.h"

#include <nlohmann/json.hpp>

#include "cli/output/json_text.h"
#include "platform/process/terminal.h"
#include "platform/utf.h"

namespace pyrrow::cli {

using Json = nlohmann::ordered_json;

namespace {

constexpr auto kJsonInterval = std::chrono::milliseconds(200);  // at most 5 a second
constexpr auto kTerminalInterval = std::chrono::milliseconds(200);
constexpr auto kPlainInterval = std::chrono::seconds(5);

enum UnitPhase : int { kWaiting, kOpening, kHeader, kData, kOk, kFailed, kWaitingArrival, kWaitingDeparture };

std::int64_t Nanoseconds(ProgressBoard::Clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

// An event's first fields, the unit's label and its number on its fixture
// among them when given, and the run's tags. Paths in its other fields come
// from the command line as bytes: JsonLine writes them so that each reads
// back as the bytes given, also when it is not UTF-8.
Json Event(const Tags& tags, const char* name, const std::string* unit = nullptr, unsigned number = 0)
{
    Json event;
    event["v"] = 1;
    event["event"] = name;
    if (unit != nullptr) {
        event["unit"] = *unit;
        event["n"] = number;
    }
    if (!tags.empty())
        event["tags"] = TagsJson(tags);
    return event;
}

std::string Fixed(double value, int decimals)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

}  // namespace

std::string RunFailureJson(std::size_t units, int exitCode, const std::string& kind, const std::string& message,
                           const Tags& tags)
{
    Json event = Event(tags, "summary");
    event["units"] = units;
    event["ok"] = 0;
    event["failed"] = 0;
    event["exit_code"] = exitCode;
    event["error"] = {{"kind", kind}, {"message", message}};
    event["duration_ms"] = 0;
    return JsonLine(event);
}

std::string Shown(const std::string& text)
{
    const std::string valid = platform::Utf8Lossy(text);
    std::string shown;
    shown.reserve(valid.size());
    char escape[8];
    for (std::size_t i = 0; i < valid.size(); ++i) {
        const auto byte = static_cast<unsigned char>(valid[i]);
        if ((byte < 0x20 && byte != '\n') || byte == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02x", byte);
            shown += escape;
        } else if (byte == 0xC2 && i + 1 < valid.size() && static_cast<unsigned char>(valid[i + 1]) < 0xA0) {
            // U+0080 to U+009F: the C1 controls, which terminals act on too.
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(valid[++i]));
            shown += escape;
        } else {
            shown += valid[i];
        }
    }
    return shown;
}

std::string FitToTerminal(const std::string& line, std::size_t columns)
{
    if (columns == 0)
        return line;
    // A line that reaches the last column makes some terminals wrap, and a
    // redraw that moves up one line per unit would then scroll instead of
    // staying in place: the last column stays free, at every width.
    const std::size_t width = columns - 1;
    // Characters counted by their first bytes; "..." closes a cut line.
    std::size_t characters = 0;
    std::size_t cut = std::string::npos;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if ((static_cast<unsigned char>(line[i]) & 0xC0) == 0x80)
            continue;
        if (characters == (width > 3 ? width - 3 : 0))
            cut = i;
        if (++characters > width)
            return line.substr(0, cut) + std::string("...").substr(0, width);
    }
    return line;
}

std::string FormatBytes(std::uint64_t bytes)
{
    if (bytes < 1024)
        return std::to_string(bytes) + " B";
    if (bytes < 1024 * 1024)
        return Fixed(static_cast<double>(bytes) / 1024.0, 1) + " KiB";
    return Fixed(static_cast<double>(bytes) / (1024.0 * 1024.0), 1) + " MiB";
}

struct ProgressBoard::UnitState {
    std::atomic<int> phase{kWaiting};
    std::atomic<std::uint64_t> done{0};
    std::atomic<std::uint64_t> total{0};
    std::atomic<std::int64_t> startNs{0};
    std::atomic<int> exitCode{0};
    std::atomic<std::int64_t> durationMs{0};
    // The unit's number on its fixture, from 1.
    std::atomic<unsigned> number{1};
    // The units of this fixture so far (--wait, the station).
    std::atomic<unsigned> flashed{0};
    std::atomic<unsigned> failed{0};
};

// The engine's reports of one unit; runs on that unit's worker only.
class ProgressBoard::UnitObserver final : public upload::UploadObserver {
public:
    UnitObserver(ProgressBoard& board, std::size_t index) : m_board(board), m_index(index) {}

    void OnPhase(upload::Phase phase) override
    {
        UnitState& state = m_board.m_state[m_index];
        if (phase == upload::Phase::Open) {
            // Each unit of a fixture shows its progress from its start.
            m_reported = false;
            m_decile = 0;
            state.startNs.store(Nanoseconds(Clock::now()));
            state.phase.store(kOpening);
            m_board.Changed();
            return;
        }
        state.phase.store(phase == upload::Phase::Header ? kHeader : kData);
        m_board.Changed();
        if (phase == upload::Phase::Header)
            Report(true);
    }

    void OnProgressStart(std::uint64_t total) override { m_board.m_state[m_index].total.store(total); }

    void OnProgress(std::uint64_t done, std::uint64_t) override
    {
        m_board.m_state[m_index].done.store(done);
        m_board.Changed();
        Report(false);
    }

private:
    void Report(bool header)
    {
        const auto now = Clock::now();
        const UnitState& state = m_board.m_state[m_index];
        switch (m_board.m_mode) {
        case OutputMode::Terminal:
            if (!Due(now, kTerminalInterval))
                return;
            m_board.Redraw();
            break;
        case OutputMode::Plain: {
            if (header)
                return;
            const std::uint64_t total = state.total.load();
            const int decile = total == 0 ? 10 : static_cast<int>(state.done.load() * 10 / total);
            if (decile <= m_decile && !Due(now, kPlainInterval))
                return;
            m_decile = decile;
            m_last = now;
            m_board.EmitHuman(m_board.Line(m_index) + "\n");
            break;
        }
        case OutputMode::Json: {
            if (!m_board.JsonProgress() || !Due(now, kJsonInterval))
                return;
            Json event = Event(m_board.m_tags, "progress", &m_board.m_units[m_index], state.number.load());
            event["phase"] = header ? "header" : "data";
            event["done"] = header ? 0 : state.done.load();
            event["total"] = state.total.load();
            m_board.EmitJson(JsonLine(event));
            break;
        }
        case OutputMode::Quiet:
            break;
        }
    }

    // Whether the interval has passed since the last report (and if so,
    // the report is now).
    bool Due(Clock::time_point now, Clock::duration interval)
    {
        if (m_reported && now - m_last < interval)
            return false;
        m_reported = true;
        m_last = now;
        return true;
    }

    ProgressBoard& m_board;
    std::size_t m_index;
    bool m_reported = false;
    Clock::time_point m_last{};
    int m_decile = 0;
};

ProgressBoard::ProgressBoard(OutputMode mode, bool jsonQuiet, std::vector<std::string> units, std::FILE* out,
                             std::FILE* err)
    : m_mode(mode),
      m_jsonQuiet(jsonQuiet),
      m_units(std::move(units)),
      m_out(out),
      m_err(err),
      m_state(std::make_unique<UnitState[]>(m_units.size()))
{
    for (std::size_t i = 0; i < m_units.size(); ++i)
        m_observers.push_back(std::make_unique<UnitObserver>(*this, i));
}

ProgressBoard::~ProgressBoard() = default;

upload::UploadObserver& ProgressBoard::Unit(std::size_t index)
{
    return *m_observers[index];
}

void ProgressBoard::Emit(std::FILE* stream, const std::string& text)
{
    // One call: the stream's own lock keeps the lines of two workers apart.
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

void ProgressBoard::EmitHuman(const std::string& text)
{
    Emit(m_err, Shown(text));
}

std::string ProgressBoard::Line(std::size_t index) const
{
    const UnitState& state = m_state[index];
    std::string line = m_units[index] + ": ";
    const int phase = state.phase.load();
    switch (phase) {
    case kWaiting: return line + "waiting";
    case kOpening: return line + "opening";
    case kHeader: return line + "header sent, waiting for the answer";
    case kOk: return line + "ok in " + Fixed(static_cast<double>(state.durationMs.load()) / 1000.0, 1) + " s";
    case kFailed: return line + "failed (exit " + std::to_string(state.exitCode.load()) + ")";
    case kWaitingArrival:
    case kWaitingDeparture: {
        const unsigned flashed = state.flashed.load();
        const unsigned failed = state.failed.load();
        if (flashed + failed > 0)
            line += std::to_string(flashed) + " flashed, " + std::to_string(failed) + " failed; ";
        return line + (phase == kWaitingArrival ? "waiting for a unit" : "waiting for the unit to be taken out");
    }
    default: break;
    }
    const std::uint64_t done = state.done.load();
    const std::uint64_t total = state.total.load();
    const double seconds =
        static_cast<double>(Nanoseconds(Clock::now()) - state.startNs.load()) / 1e9;
    line += std::to_string(total == 0 ? 100 : done * 100 / total) + "% (" + FormatBytes(done) + " of " +
            FormatBytes(total);
    if (seconds > 0.5 && done > 0) {
        const double rate = static_cast<double>(done) / seconds;
        line += ", " + FormatBytes(static_cast<std::uint64_t>(rate)) + "/s, " +
                Fixed(static_cast<double>(total - done) / rate, 0) + " s left";
    }
    return line + ")";
}

std::vector<ProgressBoard::FixtureState> ProgressBoard::Fixtures() const
{
    std::vector<FixtureState> fixtures;
    for (std::size_t i = 0; i < m_units.size(); ++i) {
        const UnitState& state = m_state[i];
        FixtureState fixture;
        fixture.fixture = m_units[i];
        switch (state.phase.load()) {
        case kOpening:
        case kHeader:
        case kData: {
            const std::uint64_t total = state.total.load();
            fixture.doing = FixtureState::Doing::Flashing;
            fixture.percent = total == 0 ? 0 : static_cast<unsigned>(state.done.load() * 100 / total);
            break;
        }
        case kWaitingDeparture: fixture.doing = FixtureState::Doing::Leaving; break;
        case kOk:
        case kFailed: fixture.doing = FixtureState::Doing::Done; break;
        default: fixture.doing = FixtureState::Doing::Waiting; break;
        }
        fixture.ok = state.flashed.load();
        fixture.failed = state.failed.load();
        fixtures.push_back(fixture);
    }
    return fixtures;
}

void ProgressBoard::Redraw()
{
    // Back to the first unit's line, then every line rewritten.
    if (m_drawn)
        Draw("\x1b[" + std::to_string(m_units.size()) + "F", "\x1b[2K");
}

void ProgressBoard::Draw(std::string text, const char* erase)
{
    const std::size_t columns = platform::StandardErrorColumns();
    for (std::size_t i = 0; i < m_units.size(); ++i)
        text += erase + FitToTerminal(Shown(Line(i)), columns) + "\n";
    Emit(m_err, text);
}

void ProgressBoard::Start(const FirmwareImage& firmware, const std::string& version)
{
    if (m_mode == OutputMode::Json) {
        Json event = Event(m_tags, "start");
        event["version"] = version;
        event["file"] = firmware.path;
        event["size"] = firmware.bytes.size();
        event["sha256"] = firmware.sha256;
        event["units"] = m_units;
        EmitJson(JsonLine(event));
    }
    if (m_mode == OutputMode::Quiet || m_mode == OutputMode::Json)
        return;
    EmitHuman("Flashing " + firmware.path + " (" + std::to_string(firmware.bytes.size()) + " bytes, SHA-256 " +
                    firmware.sha256 + ") into " + std::to_string(m_units.size()) +
                    (m_units.size() == 1 ? " unit\n" : " units\n"));
    if (m_mode == OutputMode::Terminal) {
        Draw({}, "");
        m_drawn = true;
    }
}

void ProgressBoard::Result(std::size_t index, const UnitResult& result)
{
    UnitState& state = m_state[index];
    state.exitCode.store(result.exitCode);
    state.durationMs.store(result.durationMs);
    state.phase.store(result.ok ? kOk : kFailed);
    (result.ok ? state.flashed : state.failed).fetch_add(1);
    Changed();
    if (m_mode == OutputMode::Json) {
        Json event = Event(m_tags, "result", &m_units[index], m_state[index].number.load());
        event["device"] = result.device.empty() ? Json() : Json(result.device);
        event["status"] = result.ok ? "ok" : "failed";
        event["exit_code"] = result.exitCode;
        if (result.ok)
            event["error"] = nullptr;
        else
            event["error"] = {{"kind", result.kind},
                              {"message", result.message},
                              {"cause", result.cause.empty() ? Json() : Json(result.cause)},
                              {"frame", result.frame ? Json(*result.frame) : Json()},
                              {"offset", result.offset ? Json(*result.offset) : Json()}};
        event["duration_ms"] = result.durationMs;
        EmitJson(JsonLine(event));
    }
    if (m_mode == OutputMode::Terminal) {
        // The failure's whole text follows in the summary, below the lines.
        Redraw();
        return;
    }
    const std::string seconds = Fixed(static_cast<double>(result.durationMs) / 1000.0, 1);
    EmitHuman(result.ok ? m_units[index] + ": ok in " + seconds + " s\n" : "pyrrow-cli: " + result.message + "\n");
}

void ProgressBoard::Numbered(std::size_t index, unsigned n)
{
    m_state[index].number.store(n);
}

void ProgressBoard::Waiting(std::size_t index, WaitFor what)
{
    m_state[index].phase.store(what == WaitFor::Arrival ? kWaitingArrival : kWaitingDeparture);
    Changed();
    switch (m_mode) {
    case OutputMode::Json: {
        Json event = Event(m_tags, "waiting", &m_units[index], m_state[index].number.load());
        event["for"] = what == WaitFor::Arrival ? "arrival" : "departure";
        EmitJson(JsonLine(event));
        break;
    }
    case OutputMode::Terminal: Redraw(); break;
    case OutputMode::Plain: EmitHuman(Line(index) + "\n"); break;
    case OutputMode::Quiet: break;
    }
}

void ProgressBoard::Arrived(std::size_t index, const std::string& device)
{
    UnitState& state = m_state[index];
    // The rate counts from here, not from the start of the wait.
    state.startNs.store(Nanoseconds(Clock::now()));
    state.done.store(0);
    state.phase.store(kOpening);
    Changed();
    if (m_mode == OutputMode::Json) {
        Json event = Event(m_tags, "arrived", &m_units[index], m_state[index].number.load());
        event["device"] = device;
        EmitJson(JsonLine(event));
    }
    if (m_mode == OutputMode::Terminal)
        Redraw();
}

void ProgressBoard::Left(std::size_t index)
{
    Changed();
    if (m_mode == OutputMode::Json)
        EmitJson(JsonLine(Event(m_tags, "left", &m_units[index], m_state[index].number.load())));
}

void ProgressBoard::Summary(int exitCode, const std::vector<UnitResult>& results, std::int64_t durationMs,
                            const std::optional<std::string>& traceFailure, std::optional<unsigned> endedWaiting,
                            std::optional<std::size_t> unacknowledged)
{
    std::size_t ok = 0;
    for (const UnitResult& result : results)
        ok += result.ok ? 1 : 0;
    if (m_mode == OutputMode::Json) {
        Json event = Event(m_tags, "summary");
        event["units"] = results.size();
        event["ok"] = ok;
        event["failed"] = results.size() - ok;
        event["exit_code"] = exitCode;
        event["duration_ms"] = durationMs;
        if (traceFailure)
            event["trace_error"] = *traceFailure;
        if (endedWaiting)
            event["ended_waiting"] = *endedWaiting;
        if (unacknowledged)
            event["unacknowledged"] = *unacknowledged;
        EmitJson(JsonLine(event));
    }
    std::string text;
    if (traceFailure)
        text += "pyrrow-cli: " + *traceFailure + "\n";
    if (m_mode == OutputMode::Terminal)
        for (const UnitResult& result : results)
            if (!result.ok)
                text += "pyrrow-cli: " + result.message + "\n";
    if (results.size() > 1 || m_mode == OutputMode::Terminal)
        text += std::to_string(ok) + " of " + std::to_string(results.size()) + " units flashed (exit " +
                std::to_string(exitCode) + ")\n";
    if (endedWaiting && *endedWaiting > 0)
        text += std::to_string(*endedWaiting) + (*endedWaiting == 1 ? " fixture" : " fixtures") +
                " ended waiting for a unit that did not come\n";
    if (unacknowledged && *unacknowledged > 0)
        text += std::to_string(*unacknowledged) + (*unacknowledged == 1 ? " record was" : " records were") +
                " not acknowledged by the broker; the log has every record: send them with pyrrow-cli publish\n";
    EmitHuman(text);
}

void ProgressBoard::RunFailure(int exitCode, const std::string& kind, const std::string& message)
{
    if (m_mode == OutputMode::Json)
        EmitJson(RunFailureJson(m_units.size(), exitCode, kind, message, m_tags));
    EmitHuman("pyrrow-cli: " + message + "\n");
}

}  // namespace pyrrow::cli
