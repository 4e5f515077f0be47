#include "sim/units/unit_upload.h"

#include <utility>
#include <vector>

#include "sim/units/header_answer.h"
#include "upload/protocol.h"

namespace pyrrow::sim {

UnitUpload::UnitUpload(asio::io_context& io, const FaultPlan& faults) : m_io(io)
{
    if (const Fault* slow = faults.Slow())
        record.faults.push_back(slow->text);
}

void UnitUpload::Hit(const Fault& fault)
{
    record.faults.push_back(fault.text);
    if (fault.kind != FaultKind::AckDelay && fault.kind != FaultKind::Slow)
        m_broken = true;
}

void UnitUpload::Break(std::string why)
{
    m_broken = true;
    record.problems.push_back(std::move(why));
}

void UnitUpload::Answer(std::chrono::milliseconds delay, std::function<void()> send)
{
    if (delay.count() == 0) {
        send();
        return;
    }
    ++m_owed;
    m_answers.emplace_back(m_io).After(delay, [this, send = std::move(send)] {
        --m_owed;
        send();
    });
}

void UnitUpload::AnswerHeader(const FaultPlan& faults, Recorder& recorder, const std::string& unit,
                              const std::function<void(const std::string&, const Fault*)>& send)
{
    const Fault* fault = faults.Header();
    if (fault != nullptr)
        Hit(*fault);
    const std::vector<AnswerPiece> pieces = HeaderAnswer(header, fault);
    if (pieces.empty()) {
        recorder.Event(unit, "header answer withheld", fault);
        return;
    }
    auto delay = SlowDelay(faults.SlowFactor());
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        delay += pieces[i].delay;
        const bool last = i + 1 == pieces.size();
        Answer(delay, [this, send, bytes = pieces[i].bytes, fault, last] {
            send(bytes, fault);
            if (last && fault == nullptr)
                headerAnswered = true;
        });
    }
}

UploadRecord UnitUpload::End(const std::string& how, bool byProgram)
{
    m_answers.clear();
    if (header.size() < protocol::kHeaderSize)
        record.problems.push_back("it ended within the header");
    if (m_owed > 0)
        record.problems.push_back("it ended before the unit's answer went out");
    record.end = how;
    record.cleanEnd = byProgram && headerAnswered && !m_broken && m_owed == 0 && record.countersInOrder;
    return std::exchange(record, UploadRecord{});
}

}  // namespace pyrrow::sim
