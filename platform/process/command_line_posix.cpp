#include <langinfo.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <cwchar>
#include <string>
#include <string_view>

#include "platform/process/command_line.h"
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

std::u16string AbsolutePath(const std::u16string& path)
{
    if (path.empty() || path.front() == u'/')
        return path;
    const std::u16string current = CurrentDirectory();
    // A directory whose name is not UTF-8 cannot be written in the text: the
    // relative path still names the file from here.
    if (current.empty() || current.find(kReplacement) != std::u16string::npos)
        return path;
    // "./fw.fw" names the file in the current directory; ".." stays, since
    // it follows a symbolic link's target, not the text.
    std::u16string_view rest(path);
    while (rest.starts_with(u"./")) {
        rest.remove_prefix(2);
        while (rest.starts_with(u'/'))
            rest.remove_prefix(1);
    }
    if (rest == u".")
        rest = {};
    std::u16string absolute = current;
    if (!rest.empty()) {
        if (absolute.back() != u'/')
            absolute += u'/';
        absolute += rest;
    }
    return absolute;
}

}  // namespace pyrrow::platform
