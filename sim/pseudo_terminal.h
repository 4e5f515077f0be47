// A pseudo-terminal that plays a serial port: the program opens its slave
// side by path like any port, the unit reads and writes the master side.
// One source file per operating system implements it
// (pseudo_terminal_linux.cpp today).
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace pyrrow::sim {

class PseudoTerminal {
public:
    // A new pseudo-terminal in raw mode (8 data bits, no translation, no
    // echo). Null, with the system's reason in *error, on failure.
    static std::unique_ptr<PseudoTerminal> Open(std::string* error);
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // The path the program opens ("/dev/pts/4").
    const std::string& Path() const { return m_path; }
    // The master side, non-blocking; -1 after HangUp.
    int Fd() const { return m_master; }
    // Readable after the program opened the port; TakeOpens empties it.
    int OpenWatchFd() const { return m_watch; }
    void TakeOpens();

    // Reads what the program wrote: the count, or -1 with errno set: EAGAIN
    // when nothing is there, EIO when the program has closed the port and
    // everything it wrote was read.
    long Read(void* buffer, std::size_t size);
    // Writes all bytes to the program, or gives false with errno set.
    bool Write(const void* data, std::size_t size);

    // Opens the port ourselves, locked and marked exclusive, as a program
    // that holds it would. False with the reason on failure.
    bool Hold(std::string* error);
    // The port goes away: the program's next write or read fails.
    void HangUp();

private:
    PseudoTerminal() = default;

    int m_master = -1;
    int m_watch = -1;
    int m_held = -1;
    std::string m_path;
};

// Makes link a symbolic link to target. An old symbolic link there is
// replaced; anything else is left alone and gives false with the reason.
bool MakeLink(const std::string& target, const std::string& link, std::string* error);
// Removes link if it still points to target.
void RemoveLink(const std::string& link, const std::string& target);

}  // namespace pyrrow::sim
