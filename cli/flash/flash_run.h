// The parallel part of a flash run: one worker thread per unit, each with
// its own link, pauses and progress; a unit that fails does not stop the
// others, and a stop request ends each between blocks with its port closed.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <vector>

#include "cli/flash/firmware_image.h"
#include "cli/flash/select.h"
#include "cli/output/progress.h"
#include "cli/output/trace_log.h"
#include "cli/station/unit_result.h"
#include "platform/devices/hid.h"

namespace pyrrow::cli {

struct LinkOptions {
    double timeoutScale = 1.0;
    bool paceAck = false;  // TCP: the next frame as soon as the acknowledgement is there
    // TCP: the longest connect (before scaling), when not the protocol's.
    std::optional<std::chrono::milliseconds> connectTimeout;
    // USB: the library the units are reached through; null: the system's.
    platform::HidBackend* hid = nullptr;
};

// Puts something around the link of a unit before its upload (the waits of
// the station); its result is the link the upload runs over.
using LinkWrapper = std::function<std::unique_ptr<upload::Link>(std::unique_ptr<upload::Link>)>;

// One unit's upload on the caller's thread. wrap may be empty; trace may be null.
UnitResult FlashUnit(const Target& target, const FirmwareImage& firmware, upload::UploadObserver& observer,
                     TraceLog* trace, const LinkOptions& options, std::stop_token stop, const LinkWrapper& wrap = {});

// One result per selection, in the same order; a selection that found no
// unit gives its failure without a worker. trace may be null.
std::vector<UnitResult> FlashUnits(const std::vector<Selection>& units, const FirmwareImage& firmware,
                                   ProgressBoard& board, TraceLog* trace, const LinkOptions& options,
                                   std::stop_token stop);

}  // namespace pyrrow::cli
