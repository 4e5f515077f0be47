#include "platform/devices/device_access.h"

namespace pyrrow::platform {

const char* StateName(NodeAccess::State state)
{
    switch (state) {
    case NodeAccess::State::Ok: return "ok";
    case NodeAccess::State::Denied: return "denied";
    case NodeAccess::State::Busy: return "busy";
    case NodeAccess::State::Missing: return "missing";
    case NodeAccess::State::Unchecked: return "unchecked";
    }
    return "missing";
}

}  // namespace pyrrow::platform
