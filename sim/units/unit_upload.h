// What a unit keeps of the upload that runs, whatever its link: the record
// of what came and of the faults hit, the answers it still owes (each sent
// at its time), and whether the upload may still end in order. One lives
// from the program's first byte (TCP: from the connection) to the end of
// the link; an answer still owed then is never sent.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <string>

#include <asio/io_context.hpp>

#include "sim/faults.h"
#include "sim/recorder.h"
#include "sim/timer.h"

namespace pyrrow::sim {

class UnitUpload {
public:
    // A slow unit's fault counts from the start.
    UnitUpload(asio::io_context& io, const FaultPlan& faults);
    UnitUpload(const UnitUpload&) = delete;
    UnitUpload& operator=(const UnitUpload&) = delete;

    UploadRecord record;
    std::string header;           // the header's bytes as they came
    std::uint64_t received = 0;   // every byte, the header included
    bool headerAnswered = false;  // a faultless answer went out whole

    // A fault of the plan was hit: only a slow unit or a delayed
    // acknowledgement still let the upload end in order.
    void Hit(const Fault& fault);
    // Something rules out a clean end (a malformed frame, an answer that
    // did not go out): why, in words for the upload's line.
    void Break(std::string why);
    // Calls send after delay (at once without one); the answer is owed until then.
    void Answer(std::chrono::milliseconds delay, std::function<void()> send);
    int AnswersOwed() const { return m_owed; }
    // Answers the complete header as the plan's header fault shapes it:
    // each piece through send, at its time. Nothing when the fault keeps
    // the unit silent (the recorder hears of that).
    void AnswerHeader(const FaultPlan& faults, Recorder& recorder, const std::string& unit,
                      const std::function<void(const std::string& bytes, const Fault* fault)>& send);
    // The record of the upload that ended as how says: in order when the
    // program ended it itself after an exchange without faults or anything
    // else that broke it, its counters in order, every answer sent.
    UploadRecord End(const std::string& how, bool byProgram);

private:
    asio::io_context& m_io;
    std::list<Timer> m_answers;
    int m_owed = 0;
    bool m_broken = false;
};

}  // namespace pyrrow::sim
