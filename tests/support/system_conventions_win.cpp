#include "support/system_conventions.h"

namespace pyrrow::test {

std::u16string AbsolutePath(const std::u16string& relative)
{
    std::u16string path = u"C:\\" + relative;
    for (char16_t& c : path)
        if (c == u'/')
            c = u'\\';
    return path;
}

bool SlashMarksOptions()
{
    return true;
}

DevicePathCase PortByDevicePath()
{
    // COM1 comes first and does not begin with "COM10": only the entry the
    // path names matches.
    return {u"\\\\.\\COM10", {u"COM1", u"COM10"}, u"COM10"};
}

UnfitProgramPath ProgramPathUnfitForFiles()
{
    std::u16string program = u"C:\\srv\\";
    for (int i = 0; i < 30; ++i)
        program += u"abcdefghi\\";
    program += u"pyrrow.exe";  // 317 characters, 320 with ".config"
    return {program, "is 320 characters long, past MAX_PATH (259)"};
}

}  // namespace pyrrow::test
