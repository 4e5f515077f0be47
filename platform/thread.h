// Threads and pauses as the upload needs them: the worker of one upload,
// owned by whoever starts it and joined before the next one starts, and the
// protocol's pauses.
#pragma once

#include <functional>
#include <thread>

namespace pyrrow::platform {

// One worker thread at a time. Start joins the previous worker first, and
// the destructor joins the last one, so no worker outlives its owner. On
// Windows the thread runs with the system timer at 1 ms, so that its pauses
// keep their length.
class WorkerThread {
public:
    WorkerThread() = default;
    ~WorkerThread() { Join(); }
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Runs body on a new thread. False when no thread could be started
    // (body then never runs).
    bool Start(std::function<void()> body);
    // Waits until the worker has ended; nothing happens without one.
    void Join();

private:
    std::thread m_thread;
};

// Waits the given number of milliseconds: the one place the program pauses.
void Sleep(unsigned milliseconds);

// Runs a worker's body on its thread as this system needs it (thread_std.cpp,
// thread_win.cpp); WorkerThread's start and join are shared (thread.cpp).
void RunWorkerBody(const std::function<void()>& body);

}  // namespace pyrrow::platform
