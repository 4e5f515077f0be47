#include "support/json_schema.h"

#include <algorithm>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>

namespace pyrrow::test {
namespace {

using nlohmann::json;

bool HasType(const json& value, const std::string& type)
{
    if (type == "integer")
        return value.is_number_integer();
    static const std::set<std::string> kTypes = {"null", "boolean", "number", "string", "array", "object"};
    if (kTypes.count(type) == 0)
        throw std::runtime_error("schema: unknown type " + type);
    return value.type_name() == type;  // "number" for integers too
}

}  // namespace

JsonSchema::JsonSchema(json schema) : m_schema(std::move(schema)) {}

const JsonSchema& JsonSchema::Events()
{
    static const JsonSchema schema = [] {
        std::ifstream file(PYRROW_JSON_SCHEMA);
        if (!file)
            throw std::runtime_error("cannot read " + std::string(PYRROW_JSON_SCHEMA));
        return JsonSchema(json::parse(file));
    }();
    return schema;
}

std::optional<std::string> JsonSchema::Problem(const json& value, const std::string& definition) const
{
    if (definition.empty())
        return Check(m_schema, value, "$");
    return Check(m_schema.at("$defs").at(definition), value, "$");
}

std::optional<std::string> JsonSchema::Check(const json& schema, const json& value, const std::string& where) const
{
    static const std::set<std::string> kIgnored = {"$schema", "$id", "$defs", "title", "description", "$comment"};
    for (const auto& [keyword, argument] : schema.items()) {
        if (kIgnored.count(keyword) != 0)
            continue;
        if (keyword == "$ref") {
            const std::string ref = argument.get<std::string>();
            if (ref.rfind("#/", 0) != 0)
                throw std::runtime_error("schema: only local references: " + ref);
            if (auto problem = Check(m_schema.at(json::json_pointer(ref.substr(1))), value, where))
                return problem;
        } else if (keyword == "type") {
            bool any = false;
            for (const json& type : argument.is_array() ? argument : json::array({argument}))
                any = any || HasType(value, type.get<std::string>());
            if (!any)
                return where + ": " + value.dump() + " is not of type " + argument.dump();
        } else if (keyword == "const") {
            if (value != argument)
                return where + ": " + value.dump() + " is not " + argument.dump();
        } else if (keyword == "enum") {
            if (std::find(argument.begin(), argument.end(), value) == argument.end())
                return where + ": " + value.dump() + " is none of " + argument.dump();
        } else if (keyword == "minimum") {
            if (value.is_number() && value.get<double>() < argument.get<double>())
                return where + ": " + value.dump() + " is below " + argument.dump();
        } else if (keyword == "pattern") {
            if (value.is_string() && !std::regex_search(value.get<std::string>(), std::regex(argument.get<std::string>())))
                return where + ": " + value.dump() + " does not match " + argument.dump();
        } else if (keyword == "required") {
            for (const json& name : argument)
                if (value.is_object() && !value.contains(name.get<std::string>()))
                    return where + ": lacks \"" + name.get<std::string>() + "\"";
        } else if (keyword == "properties") {
            if (!value.is_object())
                continue;
            for (const auto& [name, sub] : argument.items())
                if (value.contains(name))
                    if (auto problem = Check(sub, value.at(name), where + "." + name))
                        return problem;
        } else if (keyword == "additionalProperties") {
            if (!value.is_object())
                continue;
            const json known = schema.value("properties", json::object());
            for (const auto& [name, sub] : value.items()) {
                if (known.contains(name))
                    continue;
                if (argument.is_boolean()) {
                    if (!argument.get<bool>())
                        return where + ": \"" + name + "\" is not in the schema";
                } else if (auto problem = Check(argument, sub, where + "." + name)) {
                    return problem;
                }
            }
        } else if (keyword == "items") {
            if (!value.is_array())
                continue;
            for (std::size_t i = 0; i < value.size(); ++i)
                if (auto problem = Check(argument, value[i], where + "[" + std::to_string(i) + "]"))
                    return problem;
        } else if (keyword == "oneOf") {
            std::vector<std::string> problems;
            std::optional<std::string> named;  // of the alternative for this "event"
            for (const json& branch : argument) {
                auto problem = Check(branch, value, where);
                if (!problem)
                    continue;
                problems.push_back(*problem);
                const json& resolved =
                    branch.contains("$ref")
                        ? m_schema.at(json::json_pointer(branch["$ref"].get<std::string>().substr(1)))
                        : branch;
                const json::json_pointer event("/properties/event/const");
                if (value.is_object() && value.contains("event") && resolved.contains(event) &&
                    resolved.at(event) == value["event"])
                    named = problem;
            }
            const std::size_t matched = argument.size() - problems.size();
            if (matched == 1)
                continue;
            if (matched > 1)
                return where + ": matches " + std::to_string(matched) + " of the alternatives";
            if (named)
                return named;
            // Otherwise the alternative that got furthest says most: the longest path.
            std::string best = problems.front();
            for (const std::string& problem : problems)
                if (problem.find(':') > best.find(':'))
                    best = problem;
            return best;
        } else {
            throw std::runtime_error("schema: keyword " + keyword + " is not checked here");
        }
    }
    return std::nullopt;
}

std::string WithBytesReplaced(const std::string& line)
{
    static const std::regex escape(R"(\\(u[dD][cC][89a-fA-F][0-9a-fA-F]|.))");
    std::string out;
    std::size_t last = 0;
    for (auto it = std::sregex_iterator(line.begin(), line.end(), escape); it != std::sregex_iterator(); ++it) {
        const auto at = static_cast<std::size_t>(it->position());
        out.append(line, last, at - last);
        out += (*it)[1].length() == 5 ? "\\ufffd" : it->str();
        last = at + static_cast<std::size_t>(it->length());
    }
    return out + line.substr(last);
}

std::string EventSchemaProblems(const std::string& output, const std::string& definition)
{
    std::string problems;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (definition.empty() && (line.empty() || line.front() != '{'))
            continue;
        const json value = json::parse(WithBytesReplaced(line), nullptr, false);
        if (value.is_discarded()) {
            problems += "not JSON: " + line + "\n";
            continue;
        }
        if (auto problem = JsonSchema::Events().Problem(value, definition))
            problems += *problem + " in " + line + "\n";
    }
    return problems;
}

}  // namespace pyrrow::test
