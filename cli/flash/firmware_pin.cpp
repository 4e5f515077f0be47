#include "cli/flash/firmware_pin.h"

#include <algorithm>
#include <cctype>
#include <sstream>
#include <vector>

#include "cli/flash/input_file.h"

namespace pyrrow::cli {
namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// What follows the last folder separator (both kinds: a sha256sum file
// may come from either system).
std::string FileName(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct DigestLine {
    std::string sha256;
    std::string name;
};

// "HEX  NAME" (text mode), "HEX *NAME" (binary mode), a name with a
// backslash or a line end written escaped after a leading backslash, or
// the hex digits alone.
bool ParseDigestLine(std::string line, DigestLine& parsed)
{
    const bool escaped = !line.empty() && line.front() == '\\';
    if (escaped)
        line.erase(0, 1);
    if (line.size() < 64 || !IsSha256Hex(line.substr(0, 64)))
        return false;
    parsed.sha256 = Lower(line.substr(0, 64));
    if (line.size() == 64)
        return true;
    if (line.size() < 67 || line[64] != ' ' || (line[65] != ' ' && line[65] != '*'))
        return false;
    for (std::size_t i = 66; i < line.size(); ++i) {
        if (escaped && line[i] == '\\' && i + 1 < line.size()) {
            parsed.name += line[++i] == 'n' ? '\n' : line[i];
            continue;
        }
        parsed.name += line[i];
    }
    return true;
}

}  // namespace

bool IsSha256Hex(const std::string& text)
{
    return text.size() == 64 &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c) != 0; });
}

PinnedDigest ReadPinnedDigest(const std::string& given, const std::string& firmwarePath, std::stop_token stop)
{
    if (given.empty() || given.front() != '@')
        return {Lower(given), {}};
    const std::string path = given.substr(1);
    const InputFile file = ReadInputFile("the --sha256 file", path, 1024 * 1024, stop);
    if (file.status != ReadStatus::Read)
        return {{}, "--sha256: " + file.problem};
    std::vector<DigestLine> lines;
    std::istringstream text(std::string(file.bytes.begin(), file.bytes.end()));
    std::size_t number = 0;
    for (std::string line; std::getline(text, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        DigestLine parsed;
        if (!ParseDigestLine(line, parsed))
            return {{}, "--sha256: line " + std::to_string(number) + " of " + path +
                            " is not a SHA-256 line as sha256sum writes it (64 hex digits, two spaces, the name)"};
        lines.push_back(parsed);
    }
    if (lines.size() == 1)
        return {lines.front().sha256, {}};
    const std::string name = FileName(firmwarePath);
    std::vector<std::string> found;
    for (const DigestLine& line : lines)
        if (line.name == firmwarePath || FileName(line.name) == name)
            found.push_back(line.sha256);
    if (found.size() == 1)
        return {found.front(), {}};
    return {{}, "--sha256: " + path + (lines.empty() ? " holds no SHA-256" :
                                        found.empty() ? " has no line for " + firmwarePath
                                                      : " has several lines for " + firmwarePath) +
                    "; give the digest itself, or a file of one line"};
}

std::string PinProblem(const FirmwareImage& image, const std::string& sha256)
{
    if (!image.sha256.empty() && image.sha256 == sha256)
        return {};
    const std::string actual = image.sha256.empty() ? "no SHA-256 (the system's hash failed)"
                                                    : "SHA-256 " + image.sha256;
    return "the firmware file " + image.path + " has " + actual + ", not " + sha256 +
           " as --sha256 requires, so no unit is flashed; check that this is the image the line is to run";
}

}  // namespace pyrrow::cli
