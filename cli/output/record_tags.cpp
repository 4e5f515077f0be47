#include "cli/output/record_tags.h"

#include <cstdint>
#include <random>

#include <utf8.h>

#include "console/text.h"

namespace pyrrow::cli {

std::optional<std::string> AddTag(Tags& tags, const std::string& text)
{
    constexpr std::size_t kLongestKey = 32;
    constexpr std::size_t kLongestValue = 256;
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos)
        return "--tag " + text + ": give KEY=VALUE";
    const std::string key = text.substr(0, equals);
    const std::string value = text.substr(equals + 1);
    const bool keyOk = !key.empty() && key.size() <= kLongestKey &&
                       key.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_") == std::string::npos;
    if (!keyOk)
        return "--tag " + text + ": the key is 1 to 32 lower-case letters, digits and _";
    if (value.empty())
        return "--tag " + text + ": the value is empty (is a variable unset?)";
    if (value.size() > kLongestValue)
        return "--tag " + key + ": the value has " + std::to_string(value.size()) + " bytes, more than 256";
    if (!utf8::is_valid(value.begin(), value.end()))
        return "--tag " + key + ": the value is not UTF-8 text";
    for (const auto& [known, given] : tags)
        if (known == key)
            return "--tag " + key + " is given twice";
    tags.emplace_back(key, value);
    return std::nullopt;
}

std::string NewRecordId()
{
    std::random_device source;
    unsigned char bytes[16];
    for (std::size_t i = 0; i < sizeof bytes; i += 4) {
        const std::uint32_t word = source();
        for (std::size_t j = 0; j < 4; ++j)
            bytes[i + j] = static_cast<unsigned char>(word >> (8 * j));
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4: random
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // the variant of RFC 4122
    const std::string hex = console::HexText(bytes);
    return hex.substr(0, 8) + '-' + hex.substr(8, 4) + '-' + hex.substr(12, 4) + '-' + hex.substr(16, 4) + '-' +
           hex.substr(20);
}

}  // namespace pyrrow::cli
