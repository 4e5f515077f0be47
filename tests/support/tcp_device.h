// A scripted TCP device listening on 127.0.0.1 (an ephemeral port). In a
// thread of its own it accepts one connection, takes the 32-byte header,
// sends its header answer in pieces, then takes frames of the expected sizes
// and acknowledges each, recording all it received.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
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
    long closeAfterFrames = -1;             // close (or reset) after this many frames
    bool reset = false;                     // close with a reset instead of an orderly close
    bool closeAtAccept = false;             // close right after accepting
};

// The header echoed back with the given status bytes 28 and 29, in one piece.
std::vector<TcpScript::Piece> Echo(const std::string& header, unsigned char status28 = 0, unsigned char status29 = 0);

class TcpDevice {
public:
    explicit TcpDevice(TcpScript script);
    ~TcpDevice();
    TcpDevice(const TcpDevice&) = delete;
    TcpDevice& operator=(const TcpDevice&) = delete;

    std::uint16_t Port() const { return m_port; }
    // Waits for the device to finish and returns all it received.
    std::string Finish();
    // The block counters of the frames received, in order.
    std::vector<std::uint16_t> Counters();
    // For a pause of the program: returns once the device has sent an answer
    // that no earlier call took (or after five seconds).
    void WaitForAnswer();

private:
    void Run();
    void Answered();

    TcpScript m_script;
    int m_listener = -1;
    std::uint16_t m_port = 0;
    std::string m_received;
    std::vector<std::uint16_t> m_counters;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_answered;
    long m_answersSent = 0;
    long m_answersTaken = 0;
};

}  // namespace pyrrow::test
