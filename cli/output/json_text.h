// The JSON lines of pyrrow-cli (events, log records, trace): every string
// reads back as its exact bytes, a path that is not UTF-8 included.
#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "cli/output/record_tags.h"

namespace pyrrow::cli {

// The value as one line of JSON, without the line's end. Text that is
// valid UTF-8 is written as it is; each byte that is not part of valid
// UTF-8 (a path is bytes to the system) is written as the escape \udcXX,
// XX its value from 80 to ff: a lone low surrogate, which no UTF-8 text
// holds, so the form is never ambiguous. Python's
// os.fsencode(json.loads(line)[...]) gives the bytes back.
std::string JsonLine(const nlohmann::ordered_json& value);

// A line of ours read back for what it says: each \udcXX becomes U+FFFD
// (a parser that takes no lone surrogate could not read the line).
// Discarded (is_discarded()) when the line is no JSON.
nlohmann::json ParseJsonLine(std::string_view line);

// The --tag pairs as a JSON object, in the order given.
nlohmann::ordered_json TagsJson(const Tags& tags);

}  // namespace pyrrow::cli
