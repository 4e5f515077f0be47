#include <windows.h>
#include <timeapi.h>

#include <system_error>
#include <thread>

#include "platform/thread.h"
#include "platform/windows_text.h"

namespace pyrrow::platform {

bool StartDetachedThread(std::function<void()> body)
{
    try {
        std::thread([body = std::move(body)] {
            // The system timer ticks every 15.6 ms unless asked for more: the
            // upload's 10 ms pauses would last 15.6 ms. The worker asks for
            // 1 ms for as long as it runs.
            const bool fine = ::timeBeginPeriod(1) == TIMERR_NOERROR;
            if (!fine)
                ReportSystemError("thread", "set", u"the timer period to 1 ms", ERROR_INVALID_PARAMETER);
            body();
            if (fine)
                ::timeEndPeriod(1);
        }).detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

void Sleep(unsigned milliseconds)
{
    ::Sleep(milliseconds);
}

}  // namespace pyrrow::platform
