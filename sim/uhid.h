// The kernel's interface for HID devices played by a program (/dev/uhid on
// Linux), as the USB unit needs it: create a device with its ids and report
// descriptor, send input reports, read what the host does (opens, closes,
// output reports, report requests) and destroy it. One source file per
// operating system implements it (uhid_linux.cpp; uhid_win.cpp, where
// there is no such interface, and Open says so).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pyrrow::sim {

struct UhidIdentity {
    std::string name;
    std::string serial;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::vector<unsigned char> descriptor;  // the HID report descriptor
};

struct UhidEvent {
    enum class Type { None, Start, Stop, Open, Close, Output, GetReport, SetReport, Other };
    Type type = Type::None;
    std::string data;      // Output, SetReport: the bytes the host sent
    std::uint32_t id = 0;  // GetReport, SetReport: to be named in the reply
};

class UhidDevice {
public:
    // Opens the interface at path (normally /dev/uhid). Null, with what to
    // do about it in *error, when it is missing, may not be written or is
    // no such interface.
    static std::unique_ptr<UhidDevice> Open(const std::string& path, std::string* error);
    // Takes over a descriptor that speaks the interface (tests: one end of
    // a socket pair).
    static std::unique_ptr<UhidDevice> Adopt(int fd);
    // Destroys the device and closes the interface.
    ~UhidDevice();
    UhidDevice(const UhidDevice&) = delete;
    UhidDevice& operator=(const UhidDevice&) = delete;

    // Readable when an event waits.
    int Fd() const { return m_fd; }

    bool Create(const UhidIdentity& identity, std::string* error);
    // Takes one event; Type::None when none waits. False when the interface failed.
    bool Read(UhidEvent* event, std::string* error);
    bool SendInput(const std::string& report, std::string* error);
    // Answers a request for a report with an error (the unit has none to
    // give) and a report sent to it with success.
    bool RefuseGetReport(std::uint32_t id, std::string* error);
    bool AcceptSetReport(std::uint32_t id, std::string* error);
    // The device goes away from the host; the interface stays open.
    void Destroy();

private:
    explicit UhidDevice(int fd) : m_fd(fd) {}

    int m_fd;
    bool m_created = false;
};

}  // namespace pyrrow::sim
