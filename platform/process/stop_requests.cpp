// What the stop requests of every system share: the sync before the process
// is ended, and the end itself.
#include <cstdlib>

#include "platform/process/stop_requests.h"

namespace pyrrow::platform {

void StopRequests::SetFinalSync(std::function<void()> sync)
{
    const std::lock_guard lock(m_syncMutex);
    m_sync = std::move(sync);
}

void StopRequests::EndNow(int code)
{
    {
        const std::lock_guard lock(m_syncMutex);
        if (m_sync)
            m_sync();
    }
    // No stream is flushed and no destructor runs: what the program still
    // meant to write may wait for ever on a reader that stopped reading.
    std::_Exit(code);
}

}  // namespace pyrrow::platform
