// The lines of a station's --log read back in order, for the check before
// a log is added to and for the report over logs. Reads in pieces, so a
// year of records needs no more memory than its longest line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

#include "platform/files/named_file.h"

namespace pyrrow::cli {

// Far longer than any record; a longer line is no record.
inline constexpr std::size_t kLongestLogLine = 1 << 20;

struct LogLine {
    enum class End {
        Newline,  // a whole line
        FileEnd,  // the last line, without its end
        TooLong,  // its first kLongestLogLine bytes; the rest is not given
    };
    std::uint64_t number = 0;  // from 1
    std::string_view text;     // without the line's end
    End end = End::Newline;
};

// Gives each line, from where the file stands to its end, to each, which
// returns false to stop. False, with the system's reason in *error, when a
// read failed (the lines before it were given).
bool ReadLogLines(platform::NamedFile& file, const std::function<bool(const LogLine&)>& each,
                  platform::SystemError* error);

}  // namespace pyrrow::cli
