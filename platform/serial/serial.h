// Serial ports as the serial transport needs them: open a port by its name
// exclusively, set the line (speed, 8 data bits, no parity, stop bits as the
// port has them, DTR and RTS off, no flow control), and read and write with
// the time-outs of the serial protocol. One source file per operating
// system implements it (serial_posix.cpp, serial_win.cpp).
#pragma once

#include <cstddef>
#include <functional>
#include <stop_token>
#include <string>

#include "platform/system_error.h"

namespace pyrrow::platform {

struct OpenSerialPort;
using SerialHandle = OpenSerialPort*;

// Read and write time-outs in milliseconds, in the manner of COMMTIMEOUTS.
struct SerialTimeouts {
    // A read returns once this long passes after a byte without another one.
    unsigned readInterval;
    // A read of n bytes returns at the latest after n x multiplier + constant.
    unsigned readTotalMultiplier;
    unsigned readTotalConstant;
    // A write of n bytes gives up after n x multiplier + constant.
    unsigned writeTotalMultiplier;
    unsigned writeTotalConstant;
};

// Port names are in the system's own form: the bytes of the name on Linux,
// UTF-8 on Windows (made UTF-16 at the system's call). A name from the
// window's list is made so by SystemName (platform/utf.h).

// The device of a port name: an absolute path stays as it is, "COMn" is
// the n-th standard port (/dev/ttyS<n-1> on Linux), any other name is looked
// up among the devices (/dev/<name>). On Windows: \\.\<name>, and a name
// that begins with \\ as it is.
std::string SerialDevicePath(const std::string& portName);

// True when the port's device exists as a character device (links followed),
// whether or not the system lists it among its serial ports.
bool SerialPortExists(const std::string& portName);

// Opens the port for reading and writing, for us alone: a port that another
// program holds (its lock, exclusive mode, or, on Linux, merely having it
// open, which share mode 0 refuses on Windows) fails, and error names the
// holder where it can be seen. Null on failure (no such device, in use, not
// a tty); error (may be null) then says why.
SerialHandle OpenSerial(const std::string& portName, SystemError* error = nullptr);

// Sets speed, 8 data bits, no parity, no hardware or software flow control
// and holds DTR and RTS off; other settings stay as the port had them.
// False when the port refuses the line settings.
bool ConfigureSerial(SerialHandle port, unsigned baudRate, SystemError* error = nullptr);

void SetSerialTimeouts(SerialHandle port, const SerialTimeouts& timeouts);

// Drops what the port has received and nobody has read: bytes that came
// before a request (a unit's boot text) are never taken for its answer.
bool ClearSerialInput(SerialHandle port, SystemError* error = nullptr);

// Reads up to size bytes within the time-outs; *read gets the count (0 on a
// time-out without any byte). False when the device failed or went away, or
// when the wait itself failed (error's kind is Host then).
// A stop request ends the wait within kStopLook (deadline.h): true with
// what came so far; the caller looks at stop.
bool ReadSerial(SerialHandle port, void* buffer, std::size_t size, std::size_t* read, SystemError* error = nullptr,
                std::stop_token stop = {});

// Writes size bytes and waits until they have left the port (its output
// queue is empty), as a synchronous write does on Windows, all within the
// write time-out; *written gets the count that left. False when the device
// failed or went away, when the wait failed (error's kind Host), or when a
// stop was asked (error says so; the stop
// ends the wait within kStopLook); a time-out, also of the wait for the
// output to leave, gives true with fewer bytes written and error saying so.
bool WriteSerial(SerialHandle port, const void* data, std::size_t size, std::size_t* written,
                 SystemError* error = nullptr, std::stop_token stop = {});

// Where the port's output queue is read (the count of written bytes that
// have not left yet, -1 with errno when it cannot be told); the driver's
// count when never set. A seam for tests: a pseudo-terminal's queue is
// always empty. Windows writes synchronously and asks no queue.
void SetSerialOutputQueue(SerialHandle port, std::function<long()> queued);

// Where the port's bytes are handed to the driver, as write(2) does it (the
// count taken, or -1 with errno); write(2) itself when never set. A seam for
// tests: a driver that takes nothing although the port polls writable.
// Windows has no such loop and ignores it.
void SetSerialWrite(SerialHandle port, std::function<long(const void* data, std::size_t size)> write);

// Closes the port. Output that a failed or short write left behind is
// discarded first, so that closing never waits for a device that stopped.
void CloseSerial(SerialHandle port);

}  // namespace pyrrow::platform
