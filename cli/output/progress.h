// What a flash run tells while it runs: on a terminal one line per unit on
// standard error, redrawn in place; elsewhere plain lines, at most one per
// unit every 10 % or 5 s; -q only the results; --json one JSON object per
// line on standard output (human text then goes to standard error). The
// workers report from their own threads: each output is one write of whole
// lines, and what one worker shows of another it reads from atomics.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/flash/firmware_image.h"
#include "cli/output/record_tags.h"
#include "cli/station/unit_result.h"
#include "upload/upload_engine.h"

namespace pyrrow::cli {

enum class OutputMode { Terminal, Plain, Quiet, Json };

class ProgressBoard {
public:
    using Clock = std::chrono::steady_clock;

    // units: the names of the units, in the order of their --device options.
    // jsonQuiet: with --json, leave out the progress events.
    ProgressBoard(OutputMode mode, bool jsonQuiet, std::vector<std::string> units, std::FILE* out = stdout,
                  std::FILE* err = stderr);
    ~ProgressBoard();
    ProgressBoard(const ProgressBoard&) = delete;
    ProgressBoard& operator=(const ProgressBoard&) = delete;

    // Before Start: the --tag pairs every JSON event carries (none: no
    // "tags" field), and what to call on every change of a unit's state or
    // progress (from the units' threads; it must return at once).
    void SetTags(Tags tags) { m_tags = std::move(tags); }
    void Watch(std::function<void()> changed) { m_changed = std::move(changed); }

    // The run is about to flash this file.
    void Start(const FirmwareImage& firmware, const std::string& version);
    // The observer of one unit's upload; it lives as long as the board.
    upload::UploadObserver& Unit(std::size_t index);
    // The unit is done (also for units that never started: selection failed).
    void Result(std::size_t index, const UnitResult& result);
    // The unit that the fixture waits for or flashes next is its n-th (the
    // station counts them from 1); that unit's events carry n. Without a
    // call, 1.
    void Numbered(std::size_t index, unsigned n);
    // --wait and the station: the fixture waits for a unit to come
    // (arrival) or for the one just done to be taken out (departure).
    enum class WaitFor { Arrival, Departure };
    void Waiting(std::size_t index, WaitFor what);
    // A unit is there: device names it (its path or address).
    void Arrived(std::size_t index, const std::string& device);
    // The unit just done has left the fixture.
    void Left(std::size_t index);
    // The run is done: the summary of all units, why the trace is
    // incomplete when it is, (--wait, the station) how many fixtures
    // ended because no unit came in time, and (--publish) how many records
    // the broker did not acknowledge.
    void Summary(int exitCode, const std::vector<UnitResult>& results, std::int64_t durationMs,
                 const std::optional<std::string>& traceFailure = std::nullopt,
                 std::optional<unsigned> endedWaiting = std::nullopt,
                 std::optional<std::size_t> unacknowledged = std::nullopt);
    // The run failed before any unit started (settings, firmware, usage):
    // no unit was touched, none counts as failed.
    void RunFailure(int exitCode, const std::string& kind, const std::string& message);

    // What each fixture is doing now, in the order of the units, for a
    // station's status.
    struct FixtureState {
        enum class Doing { Waiting, Flashing, Leaving, Done };
        std::string fixture;
        Doing doing = Doing::Waiting;
        unsigned percent = 0;  // Flashing: of the file sent
        unsigned ok = 0;
        unsigned failed = 0;
    };
    std::vector<FixtureState> Fixtures() const;

    // Shared with the units' observers.
    struct UnitState;
    void Changed() const
    {
        if (m_changed)
            m_changed();
    }
    void Redraw();
    void Emit(std::FILE* stream, const std::string& text);
    void EmitJson(const std::string& line) { Emit(m_out, line + "\n"); }
    void EmitHuman(const std::string& text);
    bool JsonProgress() const { return m_mode == OutputMode::Json && !m_jsonQuiet; }
    std::FILE* Human() const { return m_err; }

private:
    std::string Line(std::size_t index) const;
    // Every unit's line fitted to the terminal, each after erase, following text.
    void Draw(std::string text, const char* erase);

    OutputMode m_mode;
    bool m_jsonQuiet;
    std::vector<std::string> m_units;
    std::FILE* m_out;
    std::FILE* m_err;
    std::unique_ptr<UnitState[]> m_state;
    class UnitObserver;
    std::vector<std::unique_ptr<UnitObserver>> m_observers;
    bool m_drawn = false;  // the terminal lines are on the screen
    Tags m_tags;
    std::function<void()> m_changed;
};

// The summary of a run that failed before any unit was touched, as one
// JSON line without its line end.
std::string RunFailureJson(std::size_t units, int exitCode, const std::string& kind, const std::string& message,
                           const Tags& tags = {});

// Text for people: control characters (a file name may hold any) shown as
// \xNN, bytes that are not UTF-8 as U+FFFD; line ends stay.
std::string Shown(const std::string& text);

// The line as a terminal columns wide shows it without wrapping: cut to
// at most columns - 1 characters, "..." ending a cut line (0 columns: the
// width is not known, the line as it is).
std::string FitToTerminal(const std::string& line, std::size_t columns);

// "512 B", "64.0 KiB", "1.5 MiB".
std::string FormatBytes(std::uint64_t bytes);

}  // namespace pyrrow::cli
