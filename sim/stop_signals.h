// The operator's request to stop (SIGINT, SIGTERM, or Ctrl+C in a console)
// turned into a descriptor the event loop waits on, so that the simulator
// ends between two events, never inside one. One source file per operating
// system implements it (stop_signals_linux.cpp today).
#pragma once

#include <memory>
#include <string>

namespace pyrrow::sim {

class StopSignals {
public:
    // Takes over SIGINT and SIGTERM for this process and ignores SIGPIPE.
    // Null, with the system's reason in *error, when that fails.
    static std::unique_ptr<StopSignals> Open(std::string* error);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Readable once a stop was requested.
    int Fd() const { return m_fd; }
    // The name of the signal that came ("SIGTERM"), taking it.
    std::string Take();

private:
    explicit StopSignals(int fd) : m_fd(fd) {}
    int m_fd;
};

}  // namespace pyrrow::sim
