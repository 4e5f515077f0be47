// A scripted serial device on a pseudo-terminal. The program under test
// opens the slave side by its path; the device plays on the master side in a
// thread of its own: it takes the 32-byte header, sends its answer pieces
// with the given delays and then records every byte until the port closes.
// The device never opens the slave itself, so that no other holder of the
// port is seen; the master sees a hang-up only once the program has opened
// and closed it.
#pragma once

#include <termios.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace pyrrow::test {

struct SerialScript {
    struct Piece {
        std::chrono::milliseconds delay;  // before the piece is sent
        std::string bytes;
    };
    std::vector<Piece> answer = {};  // sent after the header arrived
    // Close the master after this many data bytes arrived (the device goes
    // away mid-upload); -1 keeps it to the end.
    long hangUpAfterData = -1;
    // Read nothing at all (the device is stuck).
    bool neverRead = false;
    // Sent before the program opens the port (a unit's boot text): it waits
    // in the port's input.
    std::string banner = {};
};

class PtyDevice {
public:
    explicit PtyDevice(SerialScript script);
    ~PtyDevice();
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    const std::string& SlavePath() const { return m_slavePath; }
    // The port's line settings, read and set through the master.
    termios Line() const;
    void SetLine(const termios& line);
    // Ends the device (after the program closed the port) and returns every
    // byte it received, the header included.
    std::string Finish();
    // The line settings of the port when the header had come (after Finish).
    const termios& LineAtHeader() const { return m_lineAtHeader; }

private:
    void Run();

    SerialScript m_script;
    int m_master = -1;
    std::string m_slavePath;
    std::string m_received;
    termios m_lineAtHeader{};
    std::thread m_thread;
    int m_stopPipe[2] = {-1, -1};
};

}  // namespace pyrrow::test
