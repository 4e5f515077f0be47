// The serial link's time-outs and pauses: the protocol's numbers by default,
// the time-outs stretched for a slow link on request.
#pragma once

#include "platform/serial/serial.h"

namespace pyrrow::upload {

struct SerialTiming {
    platform::SerialTimeouts timeouts{
        .readInterval = 5,
        .readTotalMultiplier = 11,
        .readTotalConstant = 1000,
        .writeTotalMultiplier = 250,
        .writeTotalConstant = 3000,
    };
    unsigned pauseAfterHeader = 100;
    unsigned pauseAfterBlock = 10;
    unsigned answerAttempts = 5;

    // The time-outs stretched by factor (the pacing stays).
    SerialTiming Scaled(double factor) const;
};

}  // namespace pyrrow::upload
