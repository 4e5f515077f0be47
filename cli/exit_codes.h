// The exit codes of pyrrow-cli. Scripts and production lines rely on them:
// they never change meaning.
#pragma once

#include <string>
#include <vector>

#include "upload/upload_engine.h"

namespace pyrrow::cli {

enum ExitCode : int {
    kExitOk = 0,
    kExitUsage = 2,
    kExitSettings = 3,
    kExitFirmware = 4,
    kExitNoDevice = 5,
    kExitAmbiguous = 6,
    kExitDenied = 7,
    kExitBusy = 8,
    kExitNoAnswer = 9,
    kExitRejected = 10,
    kExitTransfer = 11,
    kExitLog = 12,
    kExitHost = 13,
    kExitMixed = 14,
    kExitDigest = 15,
    kExitInterrupted = 130,
};

// The code of one unit whose upload failed this way.
int ExitCodeOf(upload::FailureKind kind);

// The code of a whole run: interrupted wins; otherwise the units' common
// code, or kExitMixed when they did not all end the same way.
int CombineExitCodes(const std::vector<int>& units, bool interrupted);

// The table for --help; withList: also what list ends with, for the
// manual page, which gives each code once for both commands.
std::string ExitCodeTable(bool withList = false);

}  // namespace pyrrow::cli
