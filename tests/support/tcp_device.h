// A scripted TCP device listening on 127.0.0.1 (an ephemeral port). In a
// thread of its own it accepts one connection, takes the 32-byte header,
// sends its header answer in pieces, then takes frames of the expected sizes
// and acknowledges each, recording all it received and how the program
// ended the connection. One portable source on standalone Asio.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace pyrrow::test {

struct TcpScript {
    struct Piece {
        std::chrono::milliseconds delay;
        std::string bytes;
    };
    // The header answer, made from the header received; no pieces: silence.
    std::function<std::vector<Piece>(const std::string& header)> answer;
    std::size_t dataBytes = 0;             // firmware bytes after the header
    std::string acknowledgement = "ACK-OK";  // sent after each frame; empty: silence
    // Not negative: the acknowledgement comes in two halves this far apart.
    std::chrono::milliseconds acknowledgementGap{-1};
    long closeAfterFrames = -1;             // close (or reset) after this many frames
    bool reset = false;                     // close with a reset instead of an orderly close
    bool closeAtAccept = false;             // close right after accepting
};

// A loopback port nobody listens on: bound once, then released.
std::uint16_t UnusedLoopbackPort();

// The header echoed back with the given status bytes 28 and 29, in one piece.
std::vector<TcpScript::Piece> Echo(const std::string& header, unsigned char status28 = 0, unsigned char status29 = 0);

class TcpDevice {
public:
    // How the program ended the connection, as the device saw it.
    enum class End { NotSeen, Closed, Reset };

    explicit TcpDevice(TcpScript script);
    ~TcpDevice();
    TcpDevice(const TcpDevice&) = delete;
    TcpDevice& operator=(const TcpDevice&) = delete;

    std::uint16_t Port() const { return m_port; }
    // Waits for the device to finish and returns all it received.
    std::string Finish();
    // The block counters of the frames received, in order.
    std::vector<std::uint16_t> Counters();
    // Waits for the device to finish: an orderly close, a reset, or neither
    // seen (the device stopped listening first).
    End Ending();

private:
    struct Parts;  // the Asio objects, kept out of the tests' sight
    void Run();

    TcpScript m_script;
    std::unique_ptr<Parts> m_parts;
    std::uint16_t m_port = 0;
    std::string m_received;
    std::vector<std::uint16_t> m_counters;
    End m_end = End::NotSeen;
    std::thread m_thread;
};

}  // namespace pyrrow::test
