// The answer a unit gives to the 32-byte header: the header echoed with a
// zero status word, shaped by a header fault (silent, status, wrong echo,
// split, length) into the pieces that go on the wire.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "sim/faults.h"

namespace pyrrow::sim {

struct AnswerPiece {
    std::chrono::milliseconds delay;  // after the piece before it (or the header)
    std::string bytes;
};

// The pieces of the answer to header; none when the fault keeps it silent.
std::vector<AnswerPiece> HeaderAnswer(std::string_view header, const Fault* fault);

// How long a unit made slow by the factor waits before each answer.
std::chrono::milliseconds SlowDelay(double factor);

}  // namespace pyrrow::sim
