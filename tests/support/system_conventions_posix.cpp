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

}  // namespace pyrrow::test
