// One simulated unit on TCP: listens on its port, takes one connection at a
// time, answers the 32-byte header with its echo and a zero status,
// acknowledges every frame with 6 bytes, checks the frame counters and
// collects the image, making the faults of its plan on the way.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "sim/event_loop.h"
#include "sim/faults.h"
#include "sim/recorder.h"

namespace pyrrow::sim {

class TcpUnit {
public:
    struct Settings {
        std::string name;  // "tcp-1"
        std::string host;
        std::uint16_t port = 0;
        FaultPlan faults;
        bool once = false;                // stop after the first upload
        std::function<void()> onDone;     // called when a unit with once has had its upload
    };

    // Binds the unit's port: a busy unit only holds it. Null, with the
    // reason in *error and whether the port was taken in *inUse, on failure.
    static std::unique_ptr<TcpUnit> Create(EventLoop& loop, Recorder& recorder, Settings settings,
                                           std::string* error, bool* inUse);
    ~TcpUnit();
    TcpUnit(const TcpUnit&) = delete;
    TcpUnit& operator=(const TcpUnit&) = delete;

    const std::string& Address() const { return m_address; }
    std::uint16_t Port() const { return m_port; }

    // Ends what runs (an upload in progress counts as interrupted) and
    // closes the port.
    void Stop();

private:
    struct Connection;

    TcpUnit(EventLoop& loop, Recorder& recorder, Settings settings);
    void OnListener();
    void OnReadable();
    void Take(const unsigned char* data, std::size_t size);
    void AnswerHeader();
    void TakeFrames();
    void FrameComplete(std::string frame);
    void SendAnswer(const std::string& bytes, const Fault* fault);
    void Hit(const Fault& fault);
    // Ends the upload: how it ended, whether the program ended it in order,
    // and whether the connection is reset rather than closed.
    void EndUpload(const std::string& how, bool byProgram, bool reset);

    EventLoop& m_loop;
    Recorder& m_recorder;
    Settings m_settings;
    int m_listener = -1;
    std::string m_address;
    std::uint16_t m_port = 0;
    std::unique_ptr<Connection> m_connection;
    bool m_done = false;
};

}  // namespace pyrrow::sim
