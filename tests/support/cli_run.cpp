#include "support/cli_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

#include <gtest/gtest.h>

#include "support/json_schema.h"

extern char** environ;

namespace pyrrow::test {

CliOutcome RunCli(std::vector<std::string> args, const std::function<void(const std::string& out, pid_t pid)>& onOutput,
                  const std::vector<std::string>& launcher)
{
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("no pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    args.insert(args.begin(), PYRROW_CLI);
    args.insert(args.begin(), launcher.begin(), launcher.end());
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, args[0].c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    CliOutcome outcome;
    if (spawned != 0)
        throw std::runtime_error("pyrrow-cli did not start");
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        if (::poll(fds, 2, 60000) <= 0) {
            ::kill(pid, SIGKILL);  // hung: the test fails on the code, not on a wait of its own
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                fds[i].fd = -1;
                --open;
                continue;
            }
            (i == 0 ? outcome.out : outcome.err).append(buffer, static_cast<std::size_t>(n));
            if (i == 0 && onOutput)
                onOutput(outcome.out, pid);
        }
    }
    ::close(out[0]);
    ::close(err[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    // Whatever the test looks at, every JSON line is as documented.
    if (std::find(args.begin(), args.end(), "--json") != args.end()) {
        EXPECT_EQ(EventSchemaProblems(outcome.out), "");
    }
    return outcome;
}


}  // namespace pyrrow::test
