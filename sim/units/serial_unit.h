// One simulated unit on a serial line, played on a pseudo-terminal or on a
// port the user names: answers the 32-byte header with 32 bytes and collects
// the raw data that follows until the program closes the port (on a named
// port, which does not show that: until the line falls quiet). Optionally
// it takes the bytes no faster than a real UART at the protocol's line
// rate, 8N1.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <asio/io_context.hpp>

#include "sim/faults.h"
#include "sim/lines/serial_line.h"
#include "sim/recorder.h"
#include "sim/timer.h"
#include "sim/units/unit.h"
#include "sim/units/unit_upload.h"

namespace pyrrow::sim {

class SerialUnit final : public Unit {
public:
    struct Settings : UnitSettings {
        std::string port;  // the port named for the unit; empty: a pseudo-terminal
        std::string link;  // a symbolic link to the pseudo-terminal; empty: none
        bool lineRate = false;
    };

    // Opens the named port, or makes the pseudo-terminal (and the link).
    // Null, with the reason in *error, on failure.
    static std::unique_ptr<SerialUnit> Create(asio::io_context& io, Recorder& recorder, Settings settings,
                                              platform::SystemError* error);
    ~SerialUnit() override;
    SerialUnit(const SerialUnit&) = delete;
    SerialUnit& operator=(const SerialUnit&) = delete;

    std::string Where() const override { return m_path; }
    // Ends what runs, closes the port and removes the link.
    void Stop() override;

private:
    SerialUnit(asio::io_context& io, Recorder& recorder, Settings settings);
    // Takes what waits, as far as the line's rate allows, and waits again.
    void ReadPort();
    void Take(const unsigned char* data, std::size_t size);
    void Send(const std::string& bytes, const Fault* fault);
    void AwaitQuiet();
    void EndUpload(const std::string& how, bool byProgram);

    asio::io_context& m_io;
    Recorder& m_recorder;
    Settings m_settings;
    std::unique_ptr<SerialLine> m_line;
    std::string m_path;
    std::unique_ptr<UnitUpload> m_upload;  // the upload that runs, from the program's first byte
    Timer m_quietTimer;  // a named port: the end of the upload

    // Pacing: when the line will have carried every byte taken so far.
    Timer::Clock::time_point m_lineFree{};
    bool m_lineIdle = true;  // the last read took all there was
    Timer m_paceTimer;
};

}  // namespace pyrrow::sim
