#include "sim/units/tcp_unit.h"

#include <array>
#include <vector>

#include "sim/system.h"
#include "sim/timer.h"
#include "sim/units/header_answer.h"
#include "sim/units/unit_upload.h"
#include "upload/protocol.h"

namespace pyrrow::sim {
namespace {

constexpr std::size_t kFullFrame = protocol::kTcpCounterBytes + protocol::kTcpFrameData;
// A full frame is found by its length, however slowly its pieces come. Only
// a shorter one (the last) is taken as whole once the stream has been quiet
// this long: far longer than the pieces of one frame lie apart on a slow
// link (the pieces of a frame of 1,026 bytes or less are rare at all), and
// shorter than the 100 ms the program waits after sending a frame before
// it first looks for the acknowledgement, so that the acknowledgement is
// there at that look even when --timeout-scale leaves the program one look.
constexpr std::chrono::milliseconds kShortFrameGap{80};
// How many connections wait, connected, for a unit that is busy.
constexpr int kQueue = 16;

}  // namespace

struct TcpUnit::Connection {
    Connection(asio::io_context& io, asio::ip::tcp::socket s, const FaultPlan& faults)
        : socket(std::move(s)), upload(io, faults), quietTimer(io), idleTimer(io)
    {
    }

    asio::ip::tcp::socket socket;
    std::shared_ptr<char> alive = std::make_shared<char>();  // for the socket's handlers
    // Lives until the last receive has completed, even one the close cancelled.
    std::shared_ptr<std::array<unsigned char, 4096>> buffer = std::make_shared<std::array<unsigned char, 4096>>();
    UnitUpload upload;
    std::string pending;           // bytes of the frame being received
    std::uint64_t frameIndex = 0;  // of the next frame, from 0
    bool shortFrameSeen = false;   // only the last frame may be short
    Timer quietTimer;
    Timer idleTimer;
};

std::unique_ptr<TcpUnit> TcpUnit::Create(asio::io_context& io, Recorder& recorder, Settings settings,
                                         platform::SystemError* error, bool* inUse)
{
    *inUse = false;
    const bool busy = settings.faults.Busy() != nullptr;
    std::unique_ptr<TcpUnit> unit(new TcpUnit(io, recorder, std::move(settings)));
    const std::string& host = unit->m_settings.host;
    const std::string where = host + ":" + std::to_string(unit->m_settings.port);
    std::error_code failed;
    asio::ip::tcp::resolver resolver(io);
    const auto found = resolver.resolve(asio::ip::tcp::v4(), host, "", asio::ip::resolver_base::flags(), failed);
    if (failed || found.empty()) {
        *error = Failure("cannot resolve " + host + " to an IPv4 address", failed);
        return nullptr;
    }
    asio::ip::tcp::acceptor& listener = unit->m_listener;
    listener.open(asio::ip::tcp::v4(), failed);
    if (failed) {
        *error = Failure("socket", failed);
        return nullptr;
    }
    AllowRebind(listener);
    // A busy unit only holds its port, so that connections to it are refused.
    listener.bind({found.begin()->endpoint().address(), unit->m_settings.port}, failed);
    if (!failed && !busy)
        listener.listen(kQueue, failed);
    if (failed) {
        *inUse = failed == asio::error::address_in_use || failed == asio::error::access_denied;
        *error = Failure("cannot " + std::string(!busy ? "listen on " : "bind ") + where, failed);
        return nullptr;
    }
    const asio::ip::tcp::endpoint bound = listener.local_endpoint(failed);
    unit->m_port = bound.port();
    unit->m_address = bound.address().to_string() + ":" + std::to_string(unit->m_port);
    if (busy)
        recorder.Event(unit->m_settings.name, "port held, connections refused", unit->m_settings.faults.Busy());
    else
        unit->Accept();
    return unit;
}

TcpUnit::TcpUnit(asio::io_context& io, Recorder& recorder, Settings settings)
    : Unit(settings.onDone), m_io(io), m_recorder(recorder), m_settings(std::move(settings)), m_listener(io)
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
    std::error_code ignored;
    m_listener.close(ignored);
}

void TcpUnit::Accept()
{
    m_listener.async_accept(
        WhileAlive(m_alive, [this](const std::error_code& failed, asio::ip::tcp::socket socket) {
            if (!failed)
                Accepted(std::move(socket));
            else if (m_listener.is_open())
                Accept();
        }));
}

void TcpUnit::Accepted(asio::ip::tcp::socket socket)
{
    // One program at a time, like the unit it stands for: the next one
    // waits in the listen queue, connected, until this upload has ended.
    std::error_code ignored;
    socket.non_blocking(true, ignored);  // an answer never waits for the program
    m_connection = std::make_unique<Connection>(m_io, std::move(socket), m_settings.faults);
    m_recorder.Event(m_settings.name, "connection accepted");
    Stir();
    Receive();
    if (const Fault* close = m_settings.faults.AfterBytes(); close != nullptr && close->where == 0) {
        m_connection->upload.Hit(*close);
        EndUpload("closed at once", false, false);
    }
}

void TcpUnit::Receive()
{
    Connection& c = *m_connection;
    c.socket.async_read_some(
        asio::buffer(*c.buffer),
        WhileAlive(c.alive, [this, buffer = c.buffer](const std::error_code& failed, std::size_t n) {
            if (!failed) {
                Stir();
                Take(buffer->data(), n);
                if (m_connection)
                    Receive();
            } else if (failed == asio::error::eof) {
                EndUpload("the program closed the link", true, false);
            } else if (failed == asio::error::connection_reset) {
                // What a program that was stopped does, so as not to pass
                // for one that sent everything.
                EndUpload("the program reset the connection", false, false);
            } else {
                EndUpload(Failure("connection failed", failed).text, false, false);
            }
        }));
}

void TcpUnit::Take(const unsigned char* data, std::size_t size)
{
    Connection& c = *m_connection;
    UnitUpload& upload = c.upload;
    const Fault* close = m_settings.faults.AfterBytes();
    bool closing = false;
    if (close != nullptr && upload.received + size >= close->where) {
        size = static_cast<std::size_t>(close->where - upload.received);
        closing = true;
    }
    upload.received += size;
    if (size > 0)
        m_recorder.Received(m_settings.name, data, size);

    const bool hadHeader = upload.header.size() == protocol::kHeaderSize;
    const std::size_t toHeader = std::min(size, protocol::kHeaderSize - upload.header.size());
    upload.header.append(reinterpret_cast<const char*>(data), toHeader);
    c.pending.append(reinterpret_cast<const char*>(data) + toHeader, size - toHeader);
    if (!hadHeader && upload.header.size() == protocol::kHeaderSize) {
        upload.record.image = upload.header;
        upload.AnswerHeader(m_settings.faults, m_recorder, m_settings.name,
                            [this](const std::string& bytes, const Fault* fault) { SendAnswer(bytes, fault); });
    }
    if (upload.header.size() == protocol::kHeaderSize)
        TakeFrames();
    if (closing && m_connection) {
        upload.Hit(*close);
        EndUpload("closed after " + std::to_string(close->where) + " bytes", false, false);
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
    m_connection->quietTimer.Cancel();
    if (!m_connection->pending.empty())
        m_connection->quietTimer.After(
            kShortFrameGap, [this] { FrameComplete(std::exchange(m_connection->pending, std::string())); });
}

void TcpUnit::FrameComplete(std::string frame)
{
    Connection& c = *m_connection;
    UploadRecord& record = c.upload.record;
    const std::uint64_t index = c.frameIndex++;
    ++record.frames;
    if (frame.size() <= protocol::kTcpCounterBytes) {
        const std::string why = c.shortFrameSeen ? "a frame after the last (frame " + std::to_string(index) +
                                                       ") carries no data"
                                                 : "frame " + std::to_string(index) + " carries no data";
        c.upload.Break(why);
        m_recorder.Event(m_settings.name, why);
        return;
    }
    const unsigned counter = static_cast<unsigned>(static_cast<unsigned char>(frame[0])) |
                             static_cast<unsigned>(static_cast<unsigned char>(frame[1])) << 8;
    if (counter != (index & 0xFFFF)) {
        record.countersInOrder = false;
        m_recorder.Event(m_settings.name, "frame " + std::to_string(index) + " has the counter " +
                                              std::to_string(counter) + ", not " + std::to_string(index & 0xFFFF));
    }
    if (c.shortFrameSeen) {
        const std::string why = "frame " + std::to_string(index) + " follows a short frame";
        c.upload.Break(why);
        m_recorder.Event(m_settings.name, why);
    }
    const std::size_t data = frame.size() - protocol::kTcpCounterBytes;
    c.shortFrameSeen = data < protocol::kTcpFrameData;
    record.image.append(frame, protocol::kTcpCounterBytes, data);

    std::string ack(protocol::kTcpMinimumAcknowledgement, '\0');
    ack[0] = frame[0];
    ack[1] = frame[1];
    auto delay = SlowDelay(m_settings.faults.SlowFactor());
    const Fault* fault = m_settings.faults.Frame(index);
    if (fault != nullptr) {
        c.upload.Hit(*fault);
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
    c.upload.Answer(delay, [this, ack, fault] { SendAnswer(ack, fault); });
}

void TcpUnit::SendAnswer(const std::string& bytes, const Fault* fault)
{
    // Answers are a few dozen bytes: the socket's buffer takes them whole.
    std::error_code failed;
    const std::size_t sent = m_connection->socket.write_some(asio::buffer(bytes), failed);
    if (failed || sent != bytes.size()) {
        // The receive side sees the end of the connection and ends the upload.
        const std::string why = failed ? Failure("cannot send", failed).text
                                       : "cannot send: " + std::to_string(sent) + " of " +
                                             std::to_string(bytes.size()) + " bytes sent";
        m_connection->upload.Break(why);
        m_recorder.Event(m_settings.name, why);
        return;
    }
    m_recorder.Sent(m_settings.name, bytes.data(), bytes.size(), fault);
    Stir();
}

void TcpUnit::Stir()
{
    if (m_settings.idleTimeout.count() == 0 || !m_connection)
        return;
    m_connection->idleTimer.After(m_settings.idleTimeout, [this] {
        // An answer the unit still owes is not the program's silence.
        if (m_connection->upload.AnswersOwed() > 0) {
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

void TcpUnit::EndUpload(const std::string& how, bool byProgram, bool reset)
{
    const std::unique_ptr<Connection> c = std::move(m_connection);
    std::error_code ignored;
    if (reset)
        c->socket.set_option(asio::socket_base::linger(true, 0), ignored);
    c->socket.close(ignored);
    m_recorder.Event(m_settings.name, reset ? "connection reset" : "connection closed");
    // A connection that brought nothing is no upload (a probe, a port scan).
    const std::vector<std::string>& faults = c->upload.record.faults;
    const bool slowOnly = faults.size() == 1 && m_settings.faults.Slow() != nullptr;
    const bool probe = c->upload.received == 0 && (faults.empty() || slowOnly);
    if (!probe && !c->pending.empty())
        c->upload.Break("frame " + std::to_string(c->frameIndex) + " (" + std::to_string(c->pending.size()) +
                        " bytes) was not yet acknowledged when the link ended");
    if (!probe)
        m_recorder.UploadEnded(m_settings.name, c->upload.End(how, byProgram));
    if (!probe && m_settings.once && !IsDone()) {
        m_listener.close(ignored);
        Done();
        return;
    }
    // The next program in line, if one waits.
    if (m_listener.is_open())
        Accept();
}

}  // namespace pyrrow::sim
