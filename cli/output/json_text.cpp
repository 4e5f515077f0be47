#include "cli/output/json_text.h"

#include <utf8.h>

#include "console/text.h"

namespace pyrrow::cli {
namespace {

void AppendString(std::string_view text, std::string& out)
{
    // Runs of valid UTF-8 as JSON writes them; each byte that is not part
    // of UTF-8 as \udcXX.
    out += '"';
    for (auto it = text.begin(); it != text.end();) {
        const auto invalid = utf8::find_invalid(it, text.end());
        if (invalid != it) {
            const std::string piece = nlohmann::json(std::string(it, invalid)).dump();
            out.append(piece, 1, piece.size() - 2);
        }
        if (invalid == text.end())
            break;
        const auto byte = static_cast<unsigned char>(*invalid);
        out += "\\udc" + console::HexText(std::span(&byte, 1));
        it = invalid + 1;
    }
    out += '"';
}

void Append(const nlohmann::ordered_json& value, std::string& out)
{
    if (value.is_object()) {
        out += '{';
        bool first = true;
        for (const auto& [key, item] : value.items()) {
            if (!first)
                out += ',';
            first = false;
            AppendString(key, out);
            out += ':';
            Append(item, out);
        }
        out += '}';
    } else if (value.is_array()) {
        out += '[';
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (i > 0)
                out += ',';
            Append(value[i], out);
        }
        out += ']';
    } else if (value.is_string()) {
        AppendString(value.get_ref<const std::string&>(), out);
    } else {
        out += value.dump();
    }
}

}  // namespace

std::string JsonLine(const nlohmann::ordered_json& value)
{
    std::string out;
    Append(value, out);
    return out;
}

nlohmann::json ParseJsonLine(std::string_view line)
{
    std::string text;
    text.reserve(line.size());
    bool afterHigh = false;  // the escape before was a high surrogate
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '\\' || i + 1 == line.size()) {
            text += line[i];
            afterHigh = false;
            continue;
        }
        // An escape: a backslash and what it escapes, read as a pair.
        const std::string_view escape = line.substr(i, 6);
        const bool unicode = escape.size() == 6 && escape[1] == 'u' &&
                             escape.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string_view::npos;
        const unsigned long unit = unicode ? std::stoul(std::string(escape.substr(2)), nullptr, 16) : 0;
        if (unicode && unit >= 0xDC80 && unit <= 0xDCFF && !afterHigh) {
            text += "\\ufffd";
            i += 5;
            afterHigh = false;
            continue;
        }
        afterHigh = unicode && unit >= 0xD800 && unit <= 0xDBFF;
        const std::size_t length = unicode ? 6 : 2;
        text.append(line.substr(i, length));
        i += length - 1;
    }
    return nlohmann::json::parse(text, nullptr, false);
}

nlohmann::ordered_json TagsJson(const Tags& tags)
{
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    for (const auto& [key, value] : tags)
        object[key] = value;
    return object;
}

}  // namespace pyrrow::cli
