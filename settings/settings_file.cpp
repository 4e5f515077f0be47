#include "settings/settings_file.h"

#include <cstdio>
#include <iterator>

#include <utf8.h>

#include "platform/file.h"

namespace pyrrow::settings {

namespace platform = pyrrow::platform;

namespace {

std::string Utf8(const std::u16string& text)
{
    std::string out;
    try {
        utf8::utf16to8(text.begin(), text.end(), std::back_inserter(out));
    } catch (const std::exception&) {
        out = "(a name that is not valid UTF-16)";
    }
    return out;
}

void Tell(const std::string& line)
{
    std::fprintf(stderr, "settings: %s\n", line.c_str());
}

}  // namespace

bool SetAside(const std::u16string& path, const std::string& why)
{
    std::u16string aside;
    if (platform::MoveAside(path.c_str(), u".damaged", &aside)) {
        Tell(Utf8(path) + " " + why + "; moved aside to " + Utf8(aside) + ", the defaults are used");
        return true;
    }
    Tell(Utf8(path) + " " + why + " and stays as it is; the defaults are used and no settings are saved in this run");
    return false;
}

}  // namespace pyrrow::settings
