// Whether this user can open a device node now, told without opening it
// (opening a serial port pulses DTR and RTS, which resets some units), and
// what to do when the system refuses. One source file per system
// (device_access_linux.cpp, device_access_win.cpp); StateName is shared.
#pragma once

#include <string>

namespace pyrrow::platform {

struct NodeAccess {
    // Unchecked: only opening would tell, and that is not done (Windows
    // tells whether a serial port is free only by opening it).
    enum class State { Ok, Denied, Busy, Missing, Unchecked };
    State state = State::Missing;
    // Of the node itself: "root", "dialout", "0660"; empty where the system
    // has no such thing (Windows).
    std::string owner;
    std::string group;
    std::string mode;
    std::string holder;  // busy: who holds it, as far as can be seen
};

// Looks at the node behind path (links followed); this process's own
// holdings do not make it busy.
NodeAccess ProbeNode(const std::string& path);

// "ok", "denied", "busy", "missing", "unchecked".
const char* StateName(NodeAccess::State state);

// What it means when the system says a port is in use. Windows gives the same
// answer ("access denied") to a port another program holds and to a port
// this user may not use.
std::string BusyMeaning();

// What gives this user access to the node at path (as the user named it):
// the group to join for a serial port where that helps, else the udev rule
// an administrator can add; the udev rule for a USB unit.
std::string DeniedAdvice(bool usb, const NodeAccess& access, const std::string& path);

}  // namespace pyrrow::platform
