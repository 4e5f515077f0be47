// What the simulator asks of a simulated unit, whatever its link: where the
// program finds it, and to end what runs.
#pragma once

#include <string>

namespace pyrrow::sim {

class Unit {
public:
    virtual ~Unit() = default;
    // "127.0.0.1:1998", the pseudo-terminal's path, "usb:serial=...".
    virtual std::string Where() const = 0;
    // Ends what runs (an upload in progress counts as interrupted) and lets
    // the link go: the port closes, the pseudo-terminal and its link go,
    // the USB device is removed.
    virtual void Stop() = 0;
};

}  // namespace pyrrow::sim
