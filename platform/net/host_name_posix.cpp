#include <unistd.h>

#include <climits>

#include "platform/net/host_name.h"

namespace pyrrow::platform {

std::string HostName()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

}  // namespace pyrrow::platform
