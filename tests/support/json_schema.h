// Checks JSON values against docs/json-events.schema.json with the part of
// JSON Schema that file uses (type, const, enum, properties, required,
// additionalProperties, items, minimum, pattern, oneOf, local $ref). A
// keyword outside that part is reported, so the file cannot grow past what
// is checked.
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace pyrrow::test {

class JsonSchema {
public:
    explicit JsonSchema(nlohmann::json schema);
    static const JsonSchema& Events();  // the program's JSON output

    // Why the value does not conform, or nothing: to the whole schema (a
    // line of standard output), or to the definition of that name under
    // $defs ("log_record", "trace_line").
    std::optional<std::string> Problem(const nlohmann::json& value, const std::string& definition = {}) const;

private:
    std::optional<std::string> Check(const nlohmann::json& schema, const nlohmann::json& value,
                                     const std::string& where) const;
    nlohmann::json m_schema;
};

// A line of the programs' JSON with each \udcXX (how they write a byte of a
// name that is not UTF-8: a lone surrogate, which nlohmann::json refuses)
// read as U+FFFD.
std::string WithBytesReplaced(const std::string& line);

// Every line of a program's standard output that starts with '{' (the
// simulator prints its addresses first), checked; the problems, one a line.
// With a definition, every line of a file that should hold only such lines
// (a --log, a --trace) instead.
std::string EventSchemaProblems(const std::string& output, const std::string& definition = {});

}  // namespace pyrrow::test
