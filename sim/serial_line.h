// The unit's end of a serial line: a pseudo-terminal the simulator makes
// (the program opens its other side by path, pseudo_terminal.h), or a port
// the user names, one end of a null-modem pair whose other end the program
// opens (named_port.h).
#pragma once

#include <cstddef>
#include <string>

namespace pyrrow::sim {

class SerialLine {
public:
    virtual ~SerialLine() = default;

    // Where the program finds the unit, printed first: the pseudo-terminal's
    // path, or the port named (the program opens the pair's other end).
    virtual const std::string& Where() const = 0;
    // Readable when the program's bytes wait or the line ends.
    virtual int Fd() const = 0;
    // Takes what the program wrote: the count, 0 when nothing waits, -1 when
    // the line ended: the program closed the pseudo-terminal and all it
    // wrote was read, or the line failed (*error then says why).
    virtual long Read(void* buffer, std::size_t size, std::string* error) = 0;
    // Writes all bytes to the program, or gives false with the reason.
    virtual bool Write(const void* data, std::size_t size, std::string* error) = 0;

    // Readable after the program opened its side; TakeOpens empties it. -1
    // when the line cannot tell: a null-modem pair carries no sign of the
    // other end opening or closing, so an upload there ends when the line
    // falls quiet.
    virtual int OpenWatchFd() const = 0;
    virtual void TakeOpens() = 0;

    // Holds the program's side locked and exclusive, as a program that uses
    // it would. False with the reason where that cannot be done.
    virtual bool Hold(std::string* error) = 0;
};

}  // namespace pyrrow::sim
