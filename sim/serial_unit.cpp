#include "sim/serial_unit.h"

#include <algorithm>

#include "sim/header_answer.h"
#include "sim/named_port.h"
#include "sim/pseudo_terminal.h"
#include "upload/protocol.h"

namespace pyrrow::sim {
namespace {

namespace protocol = pyrrow::protocol;
using Clock = EventLoop::Clock;

// A byte on the line: a start bit, 8 data bits, no parity, a stop bit.
constexpr auto kByteTime = std::chrono::nanoseconds(std::chrono::nanoseconds(std::chrono::seconds(10)).count() /
                                                    protocol::kSerialLineRate);
// While pacing, the unit takes bytes in steps of this many (about 2.8 ms);
// an idle line gives no more credit than that either.
constexpr long kPaceStep = 32;
// A named port does not show the program closing its end: an upload ends
// when the line has been quiet this long after the last byte either way.
// The program pauses 10 ms between blocks and waits well under a second
// for the header's answer.
constexpr std::chrono::seconds kQuietEnd{1};

bool Benign(FaultKind kind)
{
    return kind == FaultKind::Slow;
}

}  // namespace

std::unique_ptr<SerialUnit> SerialUnit::Create(EventLoop& loop, Recorder& recorder, Settings settings,
                                               std::string* error)
{
    std::unique_ptr<SerialLine> line =
        settings.port.empty() ? OpenPseudoTerminal(settings.link, error) : OpenNamedPort(settings.port, error);
    if (!line)
        return nullptr;
    if (const Fault* busy = settings.faults.Busy(); busy != nullptr && !line->Hold(error))
        return nullptr;
    std::unique_ptr<SerialUnit> unit(new SerialUnit(loop, recorder, std::move(settings)));
    unit->m_path = line->Where();
    unit->m_line = std::move(line);
    if (const Fault* busy = unit->m_settings.faults.Busy())
        recorder.Event(unit->m_settings.name, "port held", busy);
    if (unit->m_line->OpenWatchFd() >= 0)
        loop.Watch(unit->m_line->OpenWatchFd(), [u = unit.get()](unsigned) { u->OnOpened(); });
    unit->WatchPort();
    return unit;
}

SerialUnit::SerialUnit(EventLoop& loop, Recorder& recorder, Settings settings)
    : m_loop(loop), m_recorder(recorder), m_settings(std::move(settings))
{
}

SerialUnit::~SerialUnit()
{
    Stop();
}

void SerialUnit::Stop()
{
    if (m_active)
        EndUpload("interrupted: the simulator stopped", false);
    if (m_line) {
        m_loop.Cancel(m_paceTimer);
        m_loop.Unwatch(m_line->Fd());
        if (m_line->OpenWatchFd() >= 0)
            m_loop.Unwatch(m_line->OpenWatchFd());
        m_line.reset();
    }
}

void SerialUnit::WatchPort()
{
    m_loop.Watch(m_line->Fd(), [this](unsigned) { OnPort(); });
}

void SerialUnit::OnOpened()
{
    m_line->TakeOpens();
    if (m_waitingForOpen) {
        m_waitingForOpen = false;
        WatchPort();
    }
}

void SerialUnit::OnPort()
{
    long allowed = 4096;
    const Clock::time_point now = Clock::now();
    if (m_settings.lineRate) {
        // An idle line banks no time: a UART starts anew with the next byte.
        if (m_lineIdle)
            m_lineFree = std::max(m_lineFree, now - kPaceStep * kByteTime);
        allowed = std::min<long>(allowed, static_cast<long>((now - m_lineFree) / kByteTime));
        if (allowed == 0) {
            // Not a byte more than the line carries: look again when it has
            // carried the next few.
            m_loop.Unwatch(m_line->Fd());
            m_paceTimer = m_loop.At(m_lineFree + kPaceStep * kByteTime, [this] {
                m_paceTimer = 0;
                WatchPort();
            });
            return;
        }
    }
    unsigned char buffer[4096];
    std::string error;
    const long n = m_line->Read(buffer, static_cast<std::size_t>(allowed), &error);
    if (n > 0) {
        m_lineIdle = n < allowed;
        m_lineFree = m_lineIdle ? now : m_lineFree + n * kByteTime;
        Take(buffer, static_cast<std::size_t>(n));
        return;
    }
    if (n == 0)
        return;
    m_loop.Unwatch(m_line->Fd());
    if (!error.empty())
        m_recorder.Event(m_settings.name, "the line failed: " + error);
    if (m_line->OpenWatchFd() >= 0) {
        // The program closed the pseudo-terminal and everything it wrote was
        // read. The master reports a hang-up until the next open: wait for that.
        m_waitingForOpen = true;
        if (m_active)
            EndUpload(error.empty() ? "the program closed the link" : "the line failed: " + error, error.empty());
        return;
    }
    // A named port that failed takes no more uploads.
    if (m_active)
        EndUpload("the line failed: " + error, false);
    Stop();
    Done();
}

void SerialUnit::Take(const unsigned char* data, std::size_t size)
{
    if (!m_active) {
        m_active = true;
        m_recorder.Event(m_settings.name, "upload started");
        if (const Fault* slow = m_settings.faults.Slow())
            m_record.faults.push_back(slow->text);
    }
    const Fault* hangup = m_settings.faults.AfterBytes();
    bool hangingUp = false;
    if (hangup != nullptr && m_received + size >= hangup->where) {
        size = static_cast<std::size_t>(hangup->where - m_received);
        hangingUp = true;
    }
    m_received += size;
    if (size > 0)
        m_recorder.Received(m_settings.name, data, size);

    const std::size_t toHeader = std::min(size, protocol::kHeaderSize - m_header.size());
    const bool hadHeader = m_header.size() == protocol::kHeaderSize;
    m_header.append(reinterpret_cast<const char*>(data), toHeader);
    m_record.image.append(reinterpret_cast<const char*>(data), size);
    if (!hadHeader && m_header.size() == protocol::kHeaderSize)
        AnswerHeader();
    AwaitQuiet();

    if (hangingUp) {
        m_record.faults.push_back(hangup->text);
        m_broken = true;
        m_recorder.Event(m_settings.name, "port gone", hangup);
        EndUpload("the port went away after " + std::to_string(hangup->where) + " bytes", false);
        Stop();
        Done();
    }
}

void SerialUnit::AnswerHeader()
{
    const Fault* fault = m_settings.faults.Header();
    if (fault != nullptr) {
        m_record.faults.push_back(fault->text);
        if (!Benign(fault->kind))
            m_broken = true;
    }
    const std::vector<AnswerPiece> pieces = HeaderAnswer(m_header, fault);
    if (pieces.empty()) {
        m_recorder.Event(m_settings.name, "header answer withheld", fault);
        return;
    }
    auto delay = SlowDelay(m_settings.faults.SlowFactor());
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        delay += pieces[i].delay;
        const bool last = i + 1 == pieces.size();
        auto send = [this, bytes = pieces[i].bytes, fault, last] {
            Send(bytes, fault);
            if (last && fault == nullptr)
                m_headerAnswered = true;
        };
        if (delay.count() == 0) {
            send();
        } else {
            ++m_answersPending;
            m_timers.push_back(m_loop.After(delay, [this, send] {
                --m_answersPending;
                send();
            }));
        }
    }
}

void SerialUnit::Send(const std::string& bytes, const Fault* fault)
{
    if (bytes.empty() || !m_line)
        return;
    std::string error;
    if (!m_line->Write(bytes.data(), bytes.size(), &error)) {
        m_broken = true;
        m_recorder.Event(m_settings.name, "cannot answer: " + error);
        return;
    }
    m_recorder.Sent(m_settings.name, bytes.data(), bytes.size(), fault);
    AwaitQuiet();
}

void SerialUnit::AwaitQuiet()
{
    if (!m_active || !m_line || m_line->OpenWatchFd() >= 0)
        return;
    m_loop.Cancel(m_quietTimer);
    m_quietTimer = m_loop.After(kQuietEnd, [this] {
        m_quietTimer = 0;
        // An answer still to come is part of the upload.
        if (m_answersPending > 0)
            AwaitQuiet();
        else
            EndUpload("the line fell quiet for " + std::to_string(kQuietEnd.count()) + " s", true);
    });
}

void SerialUnit::EndUpload(const std::string& how, bool byProgram)
{
    for (const EventLoop::TimerId t : m_timers)
        m_loop.Cancel(t);
    m_timers.clear();
    m_loop.Cancel(m_quietTimer);
    m_quietTimer = 0;
    const std::size_t data = m_record.image.size() - m_header.size();
    m_record.frames = (data + protocol::kSerialBlockSize - 1) / protocol::kSerialBlockSize;
    m_record.end = how;
    m_record.cleanEnd = byProgram && m_headerAnswered && !m_broken && m_answersPending == 0;
    UploadRecord record = std::exchange(m_record, UploadRecord{});
    m_active = false;
    m_header.clear();
    m_received = 0;
    m_headerAnswered = false;
    m_broken = false;
    m_answersPending = 0;
    m_recorder.UploadEnded(m_settings.name, std::move(record));
    if (m_settings.once)
        Done();
}

void SerialUnit::Done()
{
    if (m_done)
        return;
    m_done = true;
    if (m_settings.onDone)
        m_settings.onDone();
}

}  // namespace pyrrow::sim
