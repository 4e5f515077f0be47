#include <chrono>

#include "platform/thread.h"

namespace pyrrow::platform {

void RunWorkerBody(const std::function<void()>& body)
{
    body();
}

void Sleep(unsigned milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace pyrrow::platform
