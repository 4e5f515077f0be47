#include "cli/output/log_lines.h"

#include <string>

namespace pyrrow::cli {

bool ReadLogLines(platform::NamedFile& file, const std::function<bool(const LogLine&)>& each,
                  platform::SystemError* error)
{
    std::string line;
    bool skipping = false;  // the rest of a line that was too long
    std::uint64_t number = 1;
    std::string buffer(64 * 1024, '\0');
    for (;;) {
        std::size_t n = 0;
        if (!file.Read(buffer.data(), buffer.size(), &n, error))
            return false;
        if (n == 0)
            break;
        for (std::string_view rest(buffer.data(), n); !rest.empty();) {
            const std::size_t end = rest.find('\n');
            if (!skipping) {
                line.append(rest.substr(0, end));
                if (line.size() > kLongestLogLine) {
                    line.resize(kLongestLogLine);
                    if (!each({number, line, LogLine::End::TooLong}))
                        return true;
                    skipping = true;
                    line.clear();
                }
            }
            if (end == std::string_view::npos)
                break;
            rest.remove_prefix(end + 1);
            if (!skipping && !each({number, line, LogLine::End::Newline}))
                return true;
            skipping = false;
            line.clear();
            ++number;
        }
    }
    if (!line.empty())
        each({number, line, LogLine::End::FileEnd});
    return true;
}

}  // namespace pyrrow::cli
