#include <cstdio>
#include <system_error>

#include "platform/thread.h"

namespace pyrrow::platform {

bool WorkerThread::Start(std::function<void()> body)
{
    Join();
    try {
        m_thread = std::thread([body = std::move(body)] { RunWorkerBody(body); });
        return true;
    } catch (const std::system_error& error) {
        std::fprintf(stderr, "pyrrow: start the upload's worker thread: %s\n", error.what());
        return false;
    }
}

void WorkerThread::Join()
{
    if (m_thread.joinable())
        m_thread.join();
}

}  // namespace pyrrow::platform
