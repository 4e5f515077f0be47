#include "support/system_conventions.h"

namespace pyrrow::test {

std::u16string AbsolutePath(const std::u16string& relative)
{
    return u"/" + relative;
}

bool SlashMarksOptions()
{
    return false;
}

DevicePathCase PortByDevicePath()
{
    return {u"/dev/ttyUSB0", {u"ttyS0", u"ttyUSB0"}, u"ttyUSB0"};
}

UnfitProgramPath ProgramPathUnfitForFiles()
{
    // The byte 0xE1 of "bin-\xe1", as the program's path gives it.
    return {u"/srv/bin-\xDCE1/pyrrow", "is not valid UTF-8"};
}

}  // namespace pyrrow::test
