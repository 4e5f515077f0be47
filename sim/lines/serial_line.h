// The unit's end of a serial line: a pseudo-terminal the simulator makes
// (the program opens its other side by path, pseudo_terminal.h), or a port
// the user names, one end of a null-modem pair whose other end the program
// opens (named_port.h).
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "platform/system_error.h"

namespace pyrrow::sim {

class SerialLine {
public:
    virtual ~SerialLine() = default;

    // Where the program finds the unit, printed first: the pseudo-terminal's
    // path, or the port named (the program opens the pair's other end).
    virtual const std::string& Where() const = 0;
    // Calls ready once, from the io_context, when the program's bytes wait
    // or the line ended; never after the line has gone. Only after Read
    // found nothing: a wait started while bytes are left may never end.
    virtual void AwaitBytes(std::function<void()> ready) = 0;
    // Takes what the program wrote: the count, 0 when nothing waits, -1 when
    // the line ended: the program closed the pseudo-terminal and all it
    // wrote before was read (error->text stays empty; what it writes after
    // opening it again comes with the next reads), or the line failed.
    virtual long Read(void* buffer, std::size_t size, platform::SystemError* error) = 0;
    // Writes all bytes to the program, or gives false with the reason.
    virtual bool Write(const void* data, std::size_t size, platform::SystemError* error) = 0;

    // Whether the line shows the program opening and closing its side: a
    // null-modem pair carries no sign of the other end doing either, so an
    // upload there ends when the line falls quiet.
    virtual bool ShowsOpens() const { return false; }

    // Holds the program's side locked and exclusive, as a program that uses
    // it would. False with the reason where that cannot be done.
    virtual bool Hold(platform::SystemError* error) = 0;
};

}  // namespace pyrrow::sim
