#include <unistd.h>

#include "sim/process_id.h"

namespace pyrrow::sim {

unsigned long ProcessId()
{
    return static_cast<unsigned long>(::getpid());
}

}  // namespace pyrrow::sim
