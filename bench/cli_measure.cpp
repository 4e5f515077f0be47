// Measures pyrrow-cli as a production line runs it: 64 KiB into 1, 4 and 16
// loopback TCP units at once, and 1 MiB into one unit with --pace ack. Prints
// the wall time, its ratio to one unit's, and the CPU time the tool used
// (the devices run in child processes of their own, so their work is not
// counted).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/tcp_device_process.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// A device that echoes the header and acknowledges every frame at once, in
// a child process; the listener's port.
std::uint16_t StartDevice(std::size_t size, std::vector<pid_t>& children)
{
    std::uint16_t port = 0;
    children.push_back(StartTcpDeviceProcess(size, &port));
    return port;
}

struct Figures {
    double wall;
    double cpu;
    int exitCode;
    bool devicesComplete;
};

Figures Run(const std::string& firmware, std::size_t size, int units, bool paceAck)
{
    std::vector<pid_t> devices;
    std::vector<std::string> args = {PYRROW_CLI, "flash", firmware, "--json"};
    if (paceAck) {
        args.push_back("--pace");
        args.push_back("ack");
    }
    for (int i = 0; i < units; ++i)
        args.push_back("--device=tcp:127.0.0.1:" + std::to_string(StartDevice(size, devices)));
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid = 0;
    posix_spawn(&pid, PYRROW_CLI, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    bool complete = true;
    for (const pid_t device : devices) {
        int deviceStatus = 0;
        ::waitpid(device, &deviceStatus, 0);
        complete = complete && WIFEXITED(deviceStatus) && WEXITSTATUS(deviceStatus) == 0;
    }
    const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return {wall, cpu, WIFEXITED(status) ? WEXITSTATUS(status) : -1, complete};
}

std::string WriteFirmware(std::size_t size)
{
    const auto path = std::filesystem::temp_directory_path() / ("pyrrow-cli-measure-" + std::to_string(size) + ".fw");
    std::ofstream out(path, std::ios::binary);
    for (std::size_t i = 0; i < size; ++i)
        out.put(static_cast<char>(i * 31 + 7));
    return path.string();
}

}  // namespace

int main()
{
    constexpr std::size_t kSmall = 64 * 1024;
    const std::string small = WriteFirmware(kSmall);
    std::printf("pyrrow-cli, 64 KiB to loopback TCP units at once (default pacing)\n");
    std::printf("units  wall      wall/wall(1) (goal <= 1.05)  CPU       CPU per unit (goal < 1 %% of wall)  exit\n");
    double single = 0;
    for (const int units : {1, 4, 16}) {
        const Figures f = Run(small, kSmall, units, false);
        if (units == 1)
            single = f.wall;
        std::printf("%5d  %6.0f ms  %5.3f                        %5.0f ms  %5.3f %%                           %d%s\n",
                    units, f.wall * 1000, f.wall / single, f.cpu * 1000, f.cpu / units / f.wall * 100, f.exitCode,
                    f.devicesComplete ? "" : " (a device did not receive the whole file)");
    }
    constexpr std::size_t kLarge = 1024 * 1024;
    const std::string large = WriteFirmware(kLarge);
    const Figures f = Run(large, kLarge, 1, true);
    std::printf("--pace ack, 1 MiB to one unit: %.0f ms (goal < 2000 ms), CPU %.0f ms, exit %d%s\n", f.wall * 1000,
                f.cpu * 1000, f.exitCode, f.devicesComplete ? "" : " (the device did not receive the whole file)");
    std::filesystem::remove(small);
    std::filesystem::remove(large);
    return 0;
}
