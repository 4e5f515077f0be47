// A program of the build run as a child process by a Windows test: its
// arguments quoted into a command line as Windows splits it, its standard
// output and error collected by threads of their own, its standard output
// readable line by line while it runs (the simulator prints where its units
// are first), and its end awaited with a bound.
#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pyrrow::test {

class ChildProcess {
public:
    ChildProcess(const std::filesystem::path& program, const std::vector<std::wstring>& arguments);
    // Ends the program if it still runs.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return m_process != nullptr; }
    // The next line of standard output without its line end; empty when
    // none came in time.
    std::string ReadLine(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // The exit code, or -1 when it had not ended in time (it is ended then).
    int Wait(std::chrono::milliseconds timeout = std::chrono::seconds(30));
    // Standard output after the lines read, and standard error, without
    // carriage returns; complete after Wait.
    std::string Output();
    std::string Errors();

private:
    struct Stream {
        void* pipe = nullptr;  // the read end
        std::string text;
        bool ended = false;
        std::thread reader;
    };
    void Read(Stream& stream);
    void Join();

    void* m_process = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    Stream m_out;
    Stream m_err;
    std::size_t m_linesRead = 0;  // bytes of standard output taken by ReadLine
};

// A program of the build (a path as CMake gives it) as Windows names it.
std::filesystem::path BuiltProgram(const char* path);

}  // namespace pyrrow::test
