#include <unistd.h>

#include <climits>

#include "cli/unit_log.h"

namespace pyrrow::cli {

std::string HostName()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

}  // namespace pyrrow::cli
