#include <windows.h>
#include <timeapi.h>

#include "platform/thread.h"
#include "platform/windows_text.h"

namespace pyrrow::platform {

void RunWorkerBody(const std::function<void()>& body)
{
    // The system timer ticks every 15.6 ms unless asked for more: the
    // upload's 10 ms pauses would last 15.6 ms. The worker asks for 1 ms for
    // as long as it runs.
    const bool fine = ::timeBeginPeriod(1) == TIMERR_NOERROR;
    if (!fine)
        ReportSystemError("thread", "set", u"the timer period to 1 ms", ERROR_INVALID_PARAMETER);
    body();
    if (fine)
        ::timeEndPeriod(1);
}

void Sleep(unsigned milliseconds)
{
    ::Sleep(milliseconds);
}

}  // namespace pyrrow::platform
