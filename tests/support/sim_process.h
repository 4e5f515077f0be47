// pyrrow-sim as a child process of a test: started with its arguments, its
// standard output read line by line (the units' addresses come first), its
// end awaited with a bound. The simulator is the one the build made, or the
// one the environment variable PYRROW_SIM names; another program (an MQTT
// broker and its client) may be run the same way.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace pyrrow::test {

class SimProcess {
public:
    // asNobody: when the test runs as root, the simulator runs as the user
    // nobody (for the rights it lacks); closedStream: a standard stream
    // (0, 1 or 2) it is started without; program: run this program (a
    // path, or a name looked for on PATH) instead of the simulator.
    explicit SimProcess(const std::vector<std::string>& args, bool asNobody = false, int closedStream = -1,
                        const std::string& program = {});
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // The next line of standard output; empty when none came in time.
    std::string ReadLine(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // The port of a "127.0.0.1:PORT" line read next; 0 when none came.
    std::uint16_t ReadPort();
    void Signal(int signal);
    pid_t Pid() const { return m_pid; }
    // The exit code, or -1 when it had not ended in time (it is killed then).
    int Wait(std::chrono::milliseconds timeout = std::chrono::seconds(30));
    // What it wrote on standard output after the lines read, and on
    // standard error; complete after Wait.
    const std::string& Output() const { return m_out; }
    const std::string& Errors() const { return m_err; }

private:
    bool Drain(std::chrono::milliseconds timeout);

    pid_t m_pid = -1;
    int m_outFd = -1;
    int m_errFd = -1;
    bool m_outOpen = true;
    bool m_errOpen = true;
    std::string m_out;
    std::string m_err;
    int m_status = -1;
};

}  // namespace pyrrow::test
