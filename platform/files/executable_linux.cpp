#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/executable.h"
#include "platform/utf.h"

namespace pyrrow::platform {

ModuleHandle CurrentModule()
{
    return nullptr;
}

std::u16string ModuleFileName(ModuleHandle)
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer) {
        // A path longer than the system's limit (ENAMETOOLONG) is the usual cause.
        const int error = n < 0 ? errno : ENAMETOOLONG;
        char text[128];
        std::fprintf(stderr, "settings: find the program's own file (/proc/self/exe): %s\n",
                     ::strerror_r(error, text, sizeof text));
        return {};
    }
    // Bytes that are not UTF-8 become lone surrogates: the text still tells
    // where the program is, and the way back gives the same bytes.
    return Utf8ToUtf16Escaped(std::string_view(buffer, static_cast<std::size_t>(n)));
}

std::u16string UserConfigFolder()
{
    std::string folder;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    std::vector<char> record(16384);
    passwd entry {};
    passwd* found = nullptr;
    if (config != nullptr && config[0] == '/') {
        folder = config;
    } else if (home != nullptr && home[0] == '/') {
        folder = std::string(home) + "/.config";
    } else if (::getpwuid_r(::geteuid(), &entry, record.data(), record.size(), &found) == 0 && found != nullptr &&
               found->pw_dir != nullptr && found->pw_dir[0] == '/') {
        folder = std::string(found->pw_dir) + "/.config";
    } else {
        return {};
    }
    folder += "/pyrrow";
    // A name that is not UTF-8 cannot name a settings file we could open.
    return Utf8ToUtf16(folder).value_or(std::u16string());
}

}  // namespace pyrrow::platform
