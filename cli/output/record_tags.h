// --tag KEY=VALUE: what a line says about its records (lot, work order,
// operator, station), carried in every record and JSON event; and the id
// that makes each record one of its own across hosts and runs, so that a
// consumer that gets a record twice can drop the second.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pyrrow::cli {

// In the order given; each key once.
using Tags = std::vector<std::pair<std::string, std::string>>;

// Adds KEY=VALUE to tags: a key of 1 to 32 lower-case letters, digits and
// '_', a value of 1 to 256 bytes of UTF-8. The problem, or nothing.
std::optional<std::string> AddTag(Tags& tags, const std::string& text);

// A random 128-bit id in the form of a UUID (version 4), from the system's
// source of randomness; throws std::exception when the system gives none.
std::string NewRecordId();

}  // namespace pyrrow::cli
