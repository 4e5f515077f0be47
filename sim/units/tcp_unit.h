// One simulated unit on TCP: listens on its port, takes one connection at a
// time (the next waits in the listen queue until the upload before it has
// ended), closes one that brings nothing for the idle time-out, answers the 32-byte header with its echo and a zero status,
// acknowledges every frame with 6 bytes, checks the frame counters and
// collects the image, making the faults of its plan on the way.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

#include "platform/system_error.h"
#include "sim/faults.h"
#include "sim/recorder.h"
#include "sim/units/unit.h"

namespace pyrrow::sim {

class TcpUnit final : public Unit {
public:
    struct Settings : UnitSettings {
        std::string host;
        std::uint16_t port = 0;
        std::chrono::milliseconds idleTimeout{0};  // a connection quiet this long is closed; 0: never
    };

    // Binds the unit's port: a busy unit only holds it. Null, with the
    // reason in *error and whether the port was taken in *inUse, on failure.
    static std::unique_ptr<TcpUnit> Create(asio::io_context& io, Recorder& recorder, Settings settings,
                                           platform::SystemError* error, bool* inUse);
    ~TcpUnit() override;
    TcpUnit(const TcpUnit&) = delete;
    TcpUnit& operator=(const TcpUnit&) = delete;

    std::uint16_t Port() const { return m_port; }

    std::string Where() const override { return m_address; }
    void Stop() override;

private:
    struct Connection;

    TcpUnit(asio::io_context& io, Recorder& recorder, Settings settings);
    void Accept();
    void Accepted(asio::ip::tcp::socket socket);
    void Receive();
    void Take(const unsigned char* data, std::size_t size);
    void TakeFrames();
    void FrameComplete(std::string frame);
    void SendAnswer(const std::string& bytes, const Fault* fault);
    // Starts the idle time-out anew: something came or went.
    void Stir();
    // Ends the upload: how it ended, whether the program ended it in order,
    // and whether the connection is reset rather than closed.
    void EndUpload(const std::string& how, bool byProgram, bool reset);

    asio::io_context& m_io;
    Recorder& m_recorder;
    Settings m_settings;
    asio::ip::tcp::acceptor m_listener;
    std::shared_ptr<char> m_alive = std::make_shared<char>();  // for the listener's handlers
    std::string m_address;
    std::uint16_t m_port = 0;
    std::unique_ptr<Connection> m_connection;
};

}  // namespace pyrrow::sim
