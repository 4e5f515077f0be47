#include "sim/tcp_unit.h"

#include <vector>

#include "sim/header_answer.h"
#include "sim/tcp_socket.h"
#include "upload/protocol.h"

namespace pyrrow::sim {
namespace {

namespace protocol = pyrrow::protocol;

constexpr std::size_t kFullFrame = protocol::kTcpCounterBytes + protocol::kTcpFrameData;
// A frame shorter than a full one is taken as whole once the stream has been
// quiet this long: the program sends each frame in one piece and then waits
// at least 100 ms for its acknowledgement.
constexpr std::chrono::milliseconds kFrameGap{20};

bool Benign(FaultKind kind)
{
    return kind == FaultKind::AckDelay || kind == FaultKind::Slow;
}

}  // namespace

struct TcpUnit::Connection {
    int fd = -1;
    std::string header;
    std::string pending;           // bytes of the frame being received
    std::uint64_t received = 0;    // every byte, the header included
    std::uint64_t frameIndex = 0;  // of the next frame, from 0
    bool headerAnswered = false;   // a faultless answer went out whole
    bool shortFrameSeen = false;   // only the last frame may be short
    bool broken = false;           // a fault or a malformed frame rules out a clean end
    int answersPending = 0;        // answers waiting for their time
    EventLoop::TimerId quietTimer = 0;
    EventLoop::TimerId idleTimer = 0;
    std::vector<EventLoop::TimerId> timers;
    UploadRecord record;
};

std::unique_ptr<TcpUnit> TcpUnit::Create(EventLoop& loop, Recorder& recorder, Settings settings, std::string* error,
                                         bool* inUse)
{
    const bool busy = settings.faults.Busy() != nullptr;
    const BoundPort bound = BindTcp(settings.host, settings.port, !busy, error, inUse);
    if (bound.fd < 0)
        return nullptr;
    std::unique_ptr<TcpUnit> unit(new TcpUnit(loop, recorder, std::move(settings)));
    unit->m_listener = bound.fd;
    unit->m_address = bound.address;
    unit->m_port = bound.port;
    if (busy)
        recorder.Event(unit->m_settings.name, "port held, connections refused", unit->m_settings.faults.Busy());
    else
        loop.Watch(bound.fd, [u = unit.get()](unsigned) { u->OnListener(); });
    return unit;
}

TcpUnit::TcpUnit(EventLoop& loop, Recorder& recorder, Settings settings)
    : m_loop(loop), m_recorder(recorder), m_settings(std::move(settings))
{
}

TcpUnit::~TcpUnit()
{
    Stop();
}

void TcpUnit::Stop()
{
    if (m_connection)
        EndUpload("interrupted: the simulator stopped", false, false);
    if (m_listener >= 0) {
        m_loop.Unwatch(m_listener);
        CloseTcp(m_listener);
        m_listener = -1;
    }
}

void TcpUnit::OnListener()
{
    const int fd = AcceptTcp(m_listener);
    if (fd < 0)
        return;
    // One program at a time, like the unit it stands for: the next one
    // waits in the listen queue, connected, until this upload has ended.
    m_loop.Unwatch(m_listener);
    m_connection = std::make_unique<Connection>();
    m_connection->fd = fd;
    m_recorder.Event(m_settings.name, "connection accepted");
    Stir();
    if (const Fault* slow = m_settings.faults.Slow())
        m_connection->record.faults.push_back(slow->text);
    m_loop.Watch(fd, [this](unsigned) { OnReadable(); });
    if (const Fault* close = m_settings.faults.AfterBytes(); close != nullptr && close->where == 0) {
        Hit(*close);
        EndUpload("closed at once", false, false);
    }
}

void TcpUnit::OnReadable()
{
    unsigned char buffer[4096];
    std::string error;
    const long n = ReceiveTcp(m_connection->fd, buffer, sizeof buffer, &error);
    if (n > 0) {
        Stir();
        Take(buffer, static_cast<std::size_t>(n));
    } else if (n == 0) {
        EndUpload("the program closed the link", true, false);
    } else if (!error.empty()) {
        EndUpload("connection failed: " + error, false, false);
    }
}

void TcpUnit::Take(const unsigned char* data, std::size_t size)
{
    Connection& c = *m_connection;
    const Fault* close = m_settings.faults.AfterBytes();
    bool closing = false;
    if (close != nullptr && c.received + size >= close->where) {
        size = static_cast<std::size_t>(close->where - c.received);
        closing = true;
    }
    c.received += size;
    if (size > 0)
        m_recorder.Received(m_settings.name, data, size);

    const bool hadHeader = c.header.size() == protocol::kHeaderSize;
    const std::size_t toHeader = std::min(size, protocol::kHeaderSize - c.header.size());
    c.header.append(reinterpret_cast<const char*>(data), toHeader);
    c.pending.append(reinterpret_cast<const char*>(data) + toHeader, size - toHeader);
    if (!hadHeader && c.header.size() == protocol::kHeaderSize) {
        c.record.image = c.header;
        AnswerHeader();
    }
    if (c.header.size() == protocol::kHeaderSize)
        TakeFrames();
    if (closing && m_connection) {
        Hit(*close);
        EndUpload("closed after " + std::to_string(close->where) + " bytes", false, false);
    }
}

void TcpUnit::AnswerHeader()
{
    Connection& c = *m_connection;
    const Fault* fault = m_settings.faults.Header();
    if (fault != nullptr)
        Hit(*fault);
    const std::vector<AnswerPiece> pieces = HeaderAnswer(c.header, fault);
    if (pieces.empty()) {
        m_recorder.Event(m_settings.name, "header answer withheld", fault);
        return;
    }
    auto delay = SlowDelay(m_settings.faults.SlowFactor());
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        delay += pieces[i].delay;
        const bool last = i + 1 == pieces.size();
        auto send = [this, bytes = pieces[i].bytes, fault, last] {
            SendAnswer(bytes, fault);
            if (last && fault == nullptr && m_connection)
                m_connection->headerAnswered = true;
        };
        if (delay.count() == 0) {
            send();
        } else {
            ++c.answersPending;
            c.timers.push_back(m_loop.After(delay, [this, send] {
                --m_connection->answersPending;
                send();
            }));
        }
    }
}

void TcpUnit::TakeFrames()
{
    while (m_connection && m_connection->pending.size() >= kFullFrame) {
        std::string frame = m_connection->pending.substr(0, kFullFrame);
        m_connection->pending.erase(0, kFullFrame);
        FrameComplete(std::move(frame));
    }
    if (!m_connection)
        return;
    Connection& c = *m_connection;
    m_loop.Cancel(c.quietTimer);
    c.quietTimer = 0;
    if (!c.pending.empty()) {
        c.quietTimer = m_loop.After(kFrameGap, [this] {
            m_connection->quietTimer = 0;
            FrameComplete(std::exchange(m_connection->pending, std::string()));
        });
    }
}

void TcpUnit::FrameComplete(std::string frame)
{
    Connection& c = *m_connection;
    const std::uint64_t index = c.frameIndex++;
    ++c.record.frames;
    if (frame.size() <= protocol::kTcpCounterBytes) {
        c.broken = true;
        m_recorder.Event(m_settings.name, "frame " + std::to_string(index) + " carries no data");
        return;
    }
    const unsigned counter = static_cast<unsigned>(static_cast<unsigned char>(frame[0])) |
                             static_cast<unsigned>(static_cast<unsigned char>(frame[1])) << 8;
    if (counter != (index & 0xFFFF)) {
        c.record.countersInOrder = false;
        m_recorder.Event(m_settings.name, "frame " + std::to_string(index) + " has the counter " +
                                              std::to_string(counter) + ", not " + std::to_string(index & 0xFFFF));
    }
    if (c.shortFrameSeen) {
        c.broken = true;
        m_recorder.Event(m_settings.name, "frame " + std::to_string(index) + " follows a short frame");
    }
    const std::size_t data = frame.size() - protocol::kTcpCounterBytes;
    c.shortFrameSeen = data < protocol::kTcpFrameData;
    c.record.image.append(frame, protocol::kTcpCounterBytes, data);

    std::string ack(protocol::kTcpMinimumAcknowledgement, '\0');
    ack[0] = frame[0];
    ack[1] = frame[1];
    auto delay = SlowDelay(m_settings.faults.SlowFactor());
    const Fault* fault = m_settings.faults.Frame(index);
    if (fault != nullptr) {
        Hit(*fault);
        switch (fault->kind) {
        case FaultKind::LinkReset:
            EndUpload("reset on frame " + std::to_string(index), false, true);
            return;
        case FaultKind::AckDrop:
            m_recorder.Event(m_settings.name, "acknowledgement withheld", fault);
            return;
        case FaultKind::AckShort:
            ack.resize(protocol::kTcpMinimumAcknowledgement - 1);
            break;
        case FaultKind::AckDelay:
            delay += std::chrono::milliseconds(fault->value);
            break;
        default:
            break;
        }
    }
    if (delay.count() == 0) {
        SendAnswer(ack, fault);
        return;
    }
    ++c.answersPending;
    c.timers.push_back(m_loop.After(delay, [this, ack, fault] {
        --m_connection->answersPending;
        SendAnswer(ack, fault);
    }));
}

void TcpUnit::SendAnswer(const std::string& bytes, const Fault* fault)
{
    if (!m_connection)
        return;
    if (std::string error; !SendTcp(m_connection->fd, bytes.data(), bytes.size(), &error)) {
        // The receive side sees the end of the connection and ends the upload.
        m_connection->broken = true;
        m_recorder.Event(m_settings.name, "cannot send: " + error);
        return;
    }
    m_recorder.Sent(m_settings.name, bytes.data(), bytes.size(), fault);
    Stir();
}

void TcpUnit::Stir()
{
    if (m_settings.idleTimeout.count() == 0 || !m_connection)
        return;
    m_loop.Cancel(m_connection->idleTimer);
    m_connection->idleTimer = m_loop.After(m_settings.idleTimeout, [this] {
        m_connection->idleTimer = 0;
        // An answer the unit still owes is not the program's silence.
        if (m_connection->answersPending > 0) {
            Stir();
            return;
        }
        const double seconds = static_cast<double>(m_settings.idleTimeout.count()) / 1000;
        std::string text = std::to_string(seconds);
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.')
            text.pop_back();
        m_recorder.Event(m_settings.name, "idle for " + text + " s");
        EndUpload("the simulator closed the link: nothing came for " + text + " s", false, false);
    });
}

void TcpUnit::Hit(const Fault& fault)
{
    m_connection->record.faults.push_back(fault.text);
    if (!Benign(fault.kind))
        m_connection->broken = true;
}

void TcpUnit::EndUpload(const std::string& how, bool byProgram, bool reset)
{
    std::unique_ptr<Connection> c = std::move(m_connection);
    m_loop.Cancel(c->quietTimer);
    m_loop.Cancel(c->idleTimer);
    for (const EventLoop::TimerId t : c->timers)
        m_loop.Cancel(t);
    m_loop.Unwatch(c->fd);
    if (reset)
        ResetTcp(c->fd);
    else
        CloseTcp(c->fd);
    m_recorder.Event(m_settings.name, reset ? "connection reset" : "connection closed");
    // A connection that brought nothing is no upload (a probe, a port scan).
    const bool slowOnly = c->record.faults.size() == 1 && m_settings.faults.Slow() != nullptr;
    const bool probe = c->received == 0 && (c->record.faults.empty() || slowOnly);
    if (!probe) {
        c->record.end = how;
        c->record.cleanEnd = byProgram && c->headerAnswered && !c->broken && c->record.countersInOrder &&
                             c->pending.empty() && c->answersPending == 0;
        m_recorder.UploadEnded(m_settings.name, std::move(c->record));
    }
    if (!probe && m_settings.once && !m_done) {
        m_done = true;
        if (m_listener >= 0) {
            CloseTcp(m_listener);
            m_listener = -1;
        }
        if (m_settings.onDone)
            m_settings.onDone();
        return;
    }
    // The next program in line, if one waits.
    if (m_listener >= 0)
        m_loop.Watch(m_listener, [this](unsigned) { OnListener(); });
}

}  // namespace pyrrow::sim
