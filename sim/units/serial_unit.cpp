#include "sim/units/serial_unit.h"

#include <algorithm>

#include "sim/lines/named_port.h"
#include "sim/lines/pseudo_terminal.h"
#include "upload/protocol.h"

namespace pyrrow::sim {
namespace {

using Clock = Timer::Clock;

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

}  // namespace

std::unique_ptr<SerialUnit> SerialUnit::Create(asio::io_context& io, Recorder& recorder, Settings settings,
                                               platform::SystemError* error)
{
    std::unique_ptr<SerialLine> line = settings.port.empty() ? OpenPseudoTerminal(io, settings.link, error)
                                                             : OpenNamedPort(io, settings.port, error);
    if (!line)
        return nullptr;
    if (const Fault* busy = settings.faults.Busy(); busy != nullptr && !line->Hold(error))
        return nullptr;
    std::unique_ptr<SerialUnit> unit(new SerialUnit(io, recorder, std::move(settings)));
    unit->m_path = line->Where();
    unit->m_line = std::move(line);
    if (const Fault* busy = unit->m_settings.faults.Busy())
        recorder.Event(unit->m_settings.name, "port held", busy);
    // What waits already is taken from the io_context, once the unit is known.
    unit->m_paceTimer.After(Clock::duration::zero(), [u = unit.get()] { u->ReadPort(); });
    return unit;
}

SerialUnit::SerialUnit(asio::io_context& io, Recorder& recorder, Settings settings)
    : Unit(settings.onDone), m_io(io), m_recorder(recorder), m_settings(std::move(settings)), m_quietTimer(io),
      m_paceTimer(io)
{
}

SerialUnit::~SerialUnit()
{
    Stop();
}

void SerialUnit::Stop()
{
    if (m_upload)
        EndUpload("interrupted: the simulator stopped", false);
    m_paceTimer.Cancel();
    m_line.reset();
}

void SerialUnit::ReadPort()
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
            m_paceTimer.At(m_lineFree + kPaceStep * kByteTime, [this] { ReadPort(); });
            return;
        }
    }
    unsigned char buffer[4096];
    platform::SystemError error;
    const long n = m_line->Read(buffer, static_cast<std::size_t>(allowed), &error);
    if (n > 0) {
        m_lineIdle = n < allowed;
        m_lineFree = m_lineIdle ? now : m_lineFree + n * kByteTime;
        Take(buffer, static_cast<std::size_t>(n));
        if (!m_line)
            return;
        // A read that took all it might have left bytes behind, of which the
        // line will not tell again: take them after what else is due.
        if (m_lineIdle)
            m_line->AwaitBytes([this] { ReadPort(); });
        else
            m_paceTimer.After(Clock::duration::zero(), [this] { ReadPort(); });
        return;
    }
    if (n == 0) {
        m_line->AwaitBytes([this] { ReadPort(); });
        return;
    }
    const std::string& failure = error.text;
    if (!failure.empty())
        m_recorder.Event(m_settings.name, "the line failed: " + failure);
    if (m_line->ShowsOpens()) {
        // The program closed the pseudo-terminal and everything it wrote
        // before was read; what comes next is the next upload's.
        if (m_upload)
            EndUpload(failure.empty() ? "ended by a close" : "the line failed: " + failure, failure.empty());
        if (!IsDone() && m_line)
            m_line->AwaitBytes([this] { ReadPort(); });
        return;
    }
    // A named port that failed takes no more uploads.
    if (m_upload)
        EndUpload("the line failed: " + failure, false);
    Stop();
    Done();
}

void SerialUnit::Take(const unsigned char* data, std::size_t size)
{
    if (!m_upload) {
        m_upload = std::make_unique<UnitUpload>(m_io, m_settings.faults);
        m_recorder.Event(m_settings.name, "upload started");
    }
    UnitUpload& upload = *m_upload;
    const Fault* hangup = m_settings.faults.AfterBytes();
    bool hangingUp = false;
    if (hangup != nullptr && upload.received + size >= hangup->where) {
        size = static_cast<std::size_t>(hangup->where - upload.received);
        hangingUp = true;
    }
    upload.received += size;
    if (size > 0)
        m_recorder.Received(m_settings.name, data, size);

    const std::size_t toHeader = std::min(size, protocol::kHeaderSize - upload.header.size());
    const bool hadHeader = upload.header.size() == protocol::kHeaderSize;
    upload.header.append(reinterpret_cast<const char*>(data), toHeader);
    upload.record.image.append(reinterpret_cast<const char*>(data), size);
    if (!hadHeader && upload.header.size() == protocol::kHeaderSize)
        upload.AnswerHeader(m_settings.faults, m_recorder, m_settings.name,
                            [this](const std::string& bytes, const Fault* fault) { Send(bytes, fault); });
    AwaitQuiet();

    if (hangingUp) {
        upload.Hit(*hangup);
        m_recorder.Event(m_settings.name, "port gone", hangup);
        EndUpload("the port went away after " + std::to_string(hangup->where) + " bytes", false);
        Stop();
        Done();
    }
}

void SerialUnit::Send(const std::string& bytes, const Fault* fault)
{
    if (bytes.empty() || !m_line)
        return;
    platform::SystemError error;
    if (!m_line->Write(bytes.data(), bytes.size(), &error)) {
        m_upload->Break("cannot answer: " + error.text);
        m_recorder.Event(m_settings.name, "cannot answer: " + error.text);
        return;
    }
    m_recorder.Sent(m_settings.name, bytes.data(), bytes.size(), fault);
    AwaitQuiet();
}

void SerialUnit::AwaitQuiet()
{
    if (!m_upload || !m_line || m_line->ShowsOpens())
        return;
    m_quietTimer.After(kQuietEnd, [this] {
        // An answer still to come is part of the upload.
        if (m_upload->AnswersOwed() > 0)
            AwaitQuiet();
        else
            EndUpload("the line fell quiet for " + std::to_string(kQuietEnd.count()) + " s", true);
    });
}

void SerialUnit::EndUpload(const std::string& how, bool byProgram)
{
    m_quietTimer.Cancel();
    const std::unique_ptr<UnitUpload> upload = std::move(m_upload);
    const std::size_t data = upload->record.image.size() - upload->header.size();
    upload->record.frames = (data + protocol::kSerialBlockSize - 1) / protocol::kSerialBlockSize;
    m_recorder.UploadEnded(m_settings.name, upload->End(how, byProgram));
    if (m_settings.once)
        Done();
}

}  // namespace pyrrow::sim
