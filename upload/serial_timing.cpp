#include "upload/serial_timing.h"

#include <algorithm>
#include <cmath>

namespace pyrrow::upload {
namespace {

// A time-out that was there stays there, however small the factor: 0 would
// mean no time-out at all.
unsigned Stretch(unsigned value, double factor)
{
    const long stretched = std::lround(value * factor);
    return value == 0 ? 0u : static_cast<unsigned>(std::max(1L, stretched));
}

}  // namespace

SerialTiming SerialTiming::Scaled(double factor) const
{
    SerialTiming t = *this;
    t.timeouts.readTotalConstant = Stretch(t.timeouts.readTotalConstant, factor);
    t.timeouts.readTotalMultiplier = Stretch(t.timeouts.readTotalMultiplier, factor);
    t.timeouts.readInterval = Stretch(t.timeouts.readInterval, factor);
    t.timeouts.writeTotalConstant = Stretch(t.timeouts.writeTotalConstant, factor);
    t.timeouts.writeTotalMultiplier = Stretch(t.timeouts.writeTotalMultiplier, factor);
    return t;
}

}  // namespace pyrrow::upload
