// Where a test's expectation follows the system's conventions rather than
// the program's behaviour: absolute paths, which characters mark options on
// the command line, and how a serial port is named by its device path.
#pragma once

#include <string>
#include <vector>

namespace pyrrow::test {

// An absolute path of the system made of a relative one written with '/':
// "srv/unit.fw" is /srv/unit.fw on Linux and C:\srv\unit.fw on Windows.
std::u16string AbsolutePath(const std::u16string& relative);

// Whether a leading '/' marks an option as '-' does (Windows).
bool SlashMarksOptions();

// A port given on the command line by its device path, the port list, and
// the entry that the path names.
struct DevicePathCase {
    std::u16string argument;
    std::vector<std::u16string> ports;
    std::u16string entry;
};
DevicePathCase PortByDevicePath();

// A program path whose settings file beside it the system's file functions
// cannot take, and the reason the settings give: a folder named in Latin-1
// (Linux), a path past MAX_PATH (Windows).
struct UnfitProgramPath {
    std::u16string program;
    std::string why;
};
UnfitProgramPath ProgramPathUnfitForFiles();

}  // namespace pyrrow::test
