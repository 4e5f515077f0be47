#include <windows.h>

#include "sim/process_id.h"

namespace pyrrow::sim {

unsigned long ProcessId()
{
    return ::GetCurrentProcessId();
}

}  // namespace pyrrow::sim
