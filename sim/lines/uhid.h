// The kernel's interface for HID devices played by a program (/dev/uhid on
// Linux), as the USB unit needs it: create a device with its ids and report
// descriptor, send input reports, read what the host does (opens, closes,
// output reports, report requests) and destroy it. The io_context waits on
// the interface's descriptor and is the one to close it. Linux only
// (uhid_linux.cpp).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <asio/io_context.hpp>

#include "platform/system_error.h"

namespace pyrrow::sim {

struct UhidIdentity {
    std::string name;
    std::string serial;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::vector<unsigned char> descriptor;  // the HID report descriptor
};

struct UhidEvent {
    enum class Type { None, Open, Close, Output, GetReport, SetReport, Other };  // Other: start, stop, ...
    Type type = Type::None;
    std::string data;      // Output, SetReport: the bytes the host sent
    std::uint32_t id = 0;  // GetReport, SetReport: to be named in the reply
};

class UhidDevice {
public:
    // Opens the interface at path (normally /dev/uhid). Null, with what to
    // do about it in *error, when it is missing, may not be written or is
    // no such interface.
    static std::unique_ptr<UhidDevice> Open(asio::io_context& io, const std::string& path,
                                            platform::SystemError* error);
    // Takes over a descriptor that speaks the interface (tests: one end of
    // a socket pair).
    static std::unique_ptr<UhidDevice> Adopt(asio::io_context& io, int fd);
    // Destroys the device and closes the interface.
    ~UhidDevice();
    UhidDevice(const UhidDevice&) = delete;
    UhidDevice& operator=(const UhidDevice&) = delete;

    // Calls ready once, from the io_context, when an event waits; never
    // after the device has gone. Only after Read found none.
    void AwaitEvent(std::function<void()> ready);

    bool Create(const UhidIdentity& identity, platform::SystemError* error);
    // Takes one event; Type::None when none waits. False when the interface failed.
    bool Read(UhidEvent* event, platform::SystemError* error);
    bool SendInput(const std::string& report, platform::SystemError* error);
    // Answers a request for a report with an error (the unit has none to
    // give) and a report sent to it with success.
    bool RefuseGetReport(std::uint32_t id, platform::SystemError* error);
    bool AcceptSetReport(std::uint32_t id, platform::SystemError* error);

private:
    struct Interface;  // the system's side
    explicit UhidDevice(std::unique_ptr<Interface> interface);

    std::unique_ptr<Interface> m_interface;
    bool m_created = false;
};

}  // namespace pyrrow::sim
