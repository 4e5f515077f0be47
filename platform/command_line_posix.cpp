#include <langinfo.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <cwchar>
#include <string>

#include "platform/command_line.h"
#include "platform/utf.h"

namespace pyrrow::platform {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

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
        AppendCodePoint(out, static_cast<char32_t>(c));
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
        arguments.push_back(utf8 ? Utf8ToUtf16Lossy(argv[i]) : FromLocale(argv[i]));
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
    return Utf8ToUtf16Lossy(buffer);
}

}  // namespace pyrrow::platform
