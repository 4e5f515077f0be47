#include "support/sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "support/temp_dir.h"

namespace pyrrow::test {

namespace {

// A pipe whose write end is full: a write to it waits for a reader that
// never reads. The read end is *readEnd.
int FullPipe(int* readEnd)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        throw std::runtime_error("no pipe");
    ::fcntl(ends[1], F_SETPIPE_SZ, 4096);
    const int flags = ::fcntl(ends[1], F_GETFL);
    ::fcntl(ends[1], F_SETFL, flags | O_NONBLOCK);
    const std::string block(4096, 'x');
    while (::write(ends[1], block.data(), block.size()) > 0) {
    }
    ::fcntl(ends[1], F_SETFL, flags);
    *readEnd = ends[0];
    return ends[1];
}

}  // namespace

SimProcess::SimProcess(const std::vector<std::string>& args, bool asNobody, int closedStream, int blockedStream,
                       const std::string& program)
{
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("no pipe");
    const int blocked = blockedStream >= 0 ? FullPipe(&m_blockedFd) : -1;
    // The simulator the build made, or the one PYRROW_SIM names (the kernel
    // stage's guest has it in /usr/bin).
    const char* named = std::getenv("PYRROW_SIM");
    std::vector<std::string> argv{!program.empty()                          ? program
                                  : named != nullptr && *named != '\0' ? named
                                                                          : PYRROW_SIM_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& a : argv)
        pointers.push_back(a.data());
    pointers.push_back(nullptr);
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        if (closedStream >= 0)
            ::close(closedStream);
        if (blocked >= 0)
            ::dup2(blocked, blockedStream);
        if (asNobody && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(126);
        ::execvp(pointers[0], pointers.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    if (blocked >= 0)
        ::close(blocked);
    m_outFd = out[0];
    m_errFd = err[0];
}

SimProcess::~SimProcess()
{
    if (m_status == -1 && m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    ::close(m_outFd);
    ::close(m_errFd);
    if (m_blockedFd >= 0)
        ::close(m_blockedFd);
}

// Reads what the pipes hold, waiting up to timeout for the first byte;
// false once both have ended.
bool SimProcess::Drain(std::chrono::milliseconds timeout)
{
    if (!m_outOpen && !m_errOpen)
        return false;
    pollfd fds[2] = {{m_outOpen ? m_outFd : -1, POLLIN, 0}, {m_errOpen ? m_errFd : -1, POLLIN, 0}};
    if (::poll(fds, 2, static_cast<int>(timeout.count())) > 0) {
        char buffer[4096];
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents == 0)
                continue;
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0)
                (i == 0 ? m_out : m_err).append(buffer, static_cast<std::size_t>(n));
            else
                (i == 0 ? m_outOpen : m_errOpen) = false;
        }
    }
    return m_outOpen || m_errOpen;
}

std::string SimProcess::ReadLine(std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (m_out.find('\n') == std::string::npos && std::chrono::steady_clock::now() < end) {
        if (!Drain(std::chrono::milliseconds(50)) || !m_outOpen)
            break;
    }
    const auto eol = m_out.find('\n');
    if (eol == std::string::npos)
        return {};
    std::string line = m_out.substr(0, eol);
    m_out.erase(0, eol + 1);
    return line;
}

std::uint16_t SimProcess::ReadPort()
{
    const std::string line = ReadLine();
    const auto colon = line.rfind(':');
    return colon == std::string::npos ? 0 : static_cast<std::uint16_t>(std::stoi(line.substr(colon + 1)));
}

bool SimProcess::AwaitError(const std::string& text, int times, std::chrono::milliseconds timeout)
{
    const auto said = [&] {
        int found = 0;
        for (auto at = m_err.find(text); at != std::string::npos; at = m_err.find(text, at + text.size()))
            ++found;
        return found >= times;
    };
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!said() && std::chrono::steady_clock::now() < end) {
        if (!Drain(std::chrono::milliseconds(50)))
            break;
    }
    return said();
}

void SimProcess::Signal(int signal)
{
    ::kill(m_pid, signal);
}

int SimProcess::Wait(std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (::waitpid(m_pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            m_status = -2;
            return -1;
        }
        Drain(std::chrono::milliseconds(20));
    }
    // It has ended: the pipes end too once they are read up.
    while (Drain(std::chrono::milliseconds(1000))) {
    }
    m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return m_status;
}

}  // namespace pyrrow::test
