#include "sim/units/header_answer.h"

#include <cmath>

#include "upload/protocol.h"

namespace pyrrow::sim {
namespace {

// The second half of a split answer comes well after the program's first
// look at the answer (100 ms after the header on every link).
constexpr std::chrono::milliseconds kSplitGap{250};
// One step of a slow unit's answer time.
constexpr double kSlowStepMs = 100.0;

}  // namespace

std::vector<AnswerPiece> HeaderAnswer(std::string_view header, const Fault* fault)
{
    std::string answer(header.substr(0, protocol::kHeaderSize));
    answer.resize(protocol::kHeaderSize, '\0');
    answer[protocol::kTcpStatusHigh] = 0;
    answer[protocol::kTcpStatusLow] = 0;
    if (fault == nullptr)
        return {{std::chrono::milliseconds(0), answer}};
    switch (fault->kind) {
    case FaultKind::HeaderSilent:
        return {};
    case FaultKind::HeaderStatus:
        answer[protocol::kTcpStatusHigh] = static_cast<char>((fault->value >> 8) & 0xFF);
        answer[protocol::kTcpStatusLow] = static_cast<char>(fault->value & 0xFF);
        break;
    case FaultKind::HeaderWrongEcho:
        // The last echoed byte: a check that compares fewer bytes misses it.
        answer[protocol::kTcpEchoedBytes - 1] = static_cast<char>(~answer[protocol::kTcpEchoedBytes - 1]);
        break;
    case FaultKind::HeaderSplit: {
        const std::size_t half = protocol::kHeaderSize / 2;
        return {{std::chrono::milliseconds(0), answer.substr(0, half)}, {kSplitGap, answer.substr(half)}};
    }
    case FaultKind::HeaderLength:
        answer.resize(fault->value, '\0');
        break;
    default:
        break;
    }
    return {{std::chrono::milliseconds(0), answer}};
}

std::chrono::milliseconds SlowDelay(double factor)
{
    return std::chrono::milliseconds(static_cast<long long>(std::llround(factor * kSlowStepMs)));
}

}  // namespace pyrrow::sim
