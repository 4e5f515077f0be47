#include "cli/trace_log.h"

#include <cerrno>
#include <cstring>

#include <nlohmann/json.hpp>

namespace pyrrow::cli {

TraceLog::~TraceLog()
{
    if (m_file != nullptr)
        std::fclose(m_file);
}

bool TraceLog::Open(const std::string& path, std::string* problem)
{
    m_file = std::fopen(path.c_str(), "w");
    if (m_file == nullptr) {
        *problem = "--trace: cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    m_start = std::chrono::steady_clock::now();
    return true;
}

void TraceLog::Write(const std::string& unit, bool sent, std::span<const unsigned char> bytes)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const unsigned char byte : bytes) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0xF];
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_start).count();
    nlohmann::ordered_json line;
    line["time"] = static_cast<double>(static_cast<long long>(ms * 1000.0)) / 1000.0;
    line["unit"] = unit;
    line["direction"] = sent ? "sent" : "received";
    line["bytes"] = hex;
    const std::string text = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    std::fwrite(text.data(), 1, text.size(), m_file);
}

}  // namespace pyrrow::cli
