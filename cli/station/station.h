// --wait, --repeat and --log: each --device is a fixture with a thread of
// its own that waits for a unit, flashes it, records it, waits for it to be
// taken out and, in station mode, for the next. A failed unit never stops
// the station; a stop request ends it between units at once and during an
// upload between blocks; a record that cannot be kept ends it before the
// next unit.
#pragma once

#include <chrono>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "cli/flash/device_uri.h"
#include "cli/flash/firmware_image.h"
#include "cli/flash/flash_run.h"
#include "cli/output/progress.h"
#include "cli/output/record_tags.h"
#include "cli/output/trace_log.h"
#include "cli/output/unit_log.h"
#include "cli/station/unit_result.h"
#include "platform/devices/hid.h"
#include "platform/net/mqtt_client.h"

namespace pyrrow::cli {

struct StationOptions {
    bool wait = false;    // wait for each unit instead of failing when it is not there
    bool repeat = false;  // after each unit, wait for it to leave and for the next
    std::optional<std::chrono::milliseconds> waitTimeout;  // nothing: wait as long as it takes
    unsigned count = 0;   // units per fixture; 0: until stopped
    Tags tags;            // in every record
};

struct StationOutcome {
    std::vector<UnitResult> results;  // every unit of every fixture, in the order they ended
    std::string logProblem;           // the record that could not be kept stopped the station
    unsigned endedWaiting = 0;        // fixtures whose wait for a unit ran out (--wait-timeout)
};

// log may be null (no --log), trace too; publisher (--publish) gets each
// record once the log has it, and may be null.
StationOutcome RunStation(const std::vector<DeviceUri>& fixtures, const FirmwareImage& firmware,
                          ProgressBoard& board, TraceLog* trace, UnitLog* log, platform::MqttClient* publisher,
                          const LinkOptions& linkOptions, const StationOptions& options, platform::HidBackend& hid,
                          std::stop_token stop);

// The exit code of a station run: 12 when the log failed, 130 when stopped;
// in station mode 0 when every unit that came was flashed, 5 when no unit
// came at all, else 14; otherwise as for a plain run, a fixture whose unit
// never came counting as a unit not found (5).
int StationExitCode(const StationOutcome& outcome, bool repeat, bool interrupted);

}  // namespace pyrrow::cli
