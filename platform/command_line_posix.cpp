#include <langinfo.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <string>

#include <utf8.h>

#include "platform/command_line.h"

namespace pyrrow::platform {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

std::u16string FromUtf8(const std::string& bytes)
{
    std::string valid;
    utf8::replace_invalid(bytes.begin(), bytes.end(), std::back_inserter(valid), kReplacement);
    return utf8::utf8to16(valid);
}

// Another multibyte encoding: through the C library, one character at a time.
std::u16string FromLocale(const char* text)
{
    std::u16string out;
    std::mbstate_t state{};
    const char* p = text;
    const char* end = text + std::strlen(text);
    while (p < end) {
        wchar_t c = 0;
        const std::size_t n = std::mbrtowc(&c, p, static_cast<std::size_t>(end - p), &state);
        if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2)) {
            out.push_back(kReplacement);
            state = {};
            ++p;
            continue;
        }
        std::string utf8;
        utf8::append(static_cast<std::uint32_t>(c), std::back_inserter(utf8));
        out += utf8::utf8to16(utf8);
        p += n == 0 ? 1 : n;
    }
    return out;
}

}  // namespace

std::vector<std::u16string> ProgramArguments(int argc, const char* const* argv)
{
    // The C and POSIX locales say ASCII; file names here are UTF-8 all the
    // same, and ASCII text reads the same either way.
    const std::string codeset = ::nl_langinfo(CODESET);
    const bool utf8 = codeset == "UTF-8" || codeset == "ANSI_X3.4-1968";
    std::vector<std::u16string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(utf8 ? FromUtf8(argv[i]) : FromLocale(argv[i]));
    return arguments;
}

bool IsOptionMark(char16_t c)
{
    return c == u'-';
}

std::u16string CurrentDirectory()
{
    char buffer[PATH_MAX];
    if (::getcwd(buffer, sizeof buffer) == nullptr)
        return {};
    return FromUtf8(buffer);
}

}  // namespace pyrrow::platform
