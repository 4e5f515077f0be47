// What the simulator asks of a simulated unit, whatever its link: where the
// program finds it, and to end what runs; what every unit is told; and how
// a unit tells its place, once, that it takes no more uploads.
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "sim/faults.h"

namespace pyrrow::sim {

struct UnitSettings {
    std::string name;  // "tcp-1", after its place
    FaultPlan faults;
    bool once = false;             // stop after the first upload
    std::function<void()> onDone;  // called when the unit takes no more uploads
};

class Unit {
public:
    virtual ~Unit() = default;
    // "127.0.0.1:1998", the pseudo-terminal's path, "usb:serial=...".
    virtual std::string Where() const = 0;
    // Ends what runs (an upload in progress counts as interrupted) and lets
    // the link go: the port closes, the pseudo-terminal and its link go,
    // the USB device is removed.
    virtual void Stop() = 0;

protected:
    explicit Unit(std::function<void()> onDone) : m_onDone(std::move(onDone)) {}
    bool IsDone() const { return m_done; }
    void Done()
    {
        if (m_done)
            return;
        m_done = true;
        if (m_onDone)
            m_onDone();
    }

private:
    std::function<void()> m_onDone;
    bool m_done = false;
};

}  // namespace pyrrow::sim
