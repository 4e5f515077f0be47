// SIGINT, SIGTERM and SIGHUP (the terminal closed) through a signalfd: blocked for the process, read by
// the event loop.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sim/stop_signals.h"

namespace pyrrow::sim {
namespace {

class SignalFd final : public StopSignals {
public:
    explicit SignalFd(int fd) : m_fd(fd) {}
    ~SignalFd() override { ::close(m_fd); }

    int Fd() const override { return m_fd; }

    std::string Take() override
    {
        signalfd_siginfo info{};
        if (::read(m_fd, &info, sizeof info) != static_cast<ssize_t>(sizeof info))
            return {};
        return info.ssi_signo == SIGINT ? "SIGINT" : info.ssi_signo == SIGHUP ? "SIGHUP" : "SIGTERM";
    }

private:
    int m_fd;
};

}  // namespace

std::unique_ptr<StopSignals> StopSignals::Open(std::string* error)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    if (::sigprocmask(SIG_BLOCK, &set, nullptr) != 0) {
        *error = std::string("blocking SIGINT, SIGTERM and SIGHUP: ") + std::strerror(errno);
        return nullptr;
    }
    // A reader that went away must not end us before the summary is written.
    ::signal(SIGPIPE, SIG_IGN);
    const int fd = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd < 0) {
        *error = std::string("signalfd: ") + std::strerror(errno);
        return nullptr;
    }
    return std::make_unique<SignalFd>(fd);
}

}  // namespace pyrrow::sim
