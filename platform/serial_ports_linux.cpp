#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/serial_ports.h"

namespace pyrrow::platform {
namespace {

namespace fs = std::filesystem;

bool ReadsAsZero(const fs::path& attribute)
{
    std::ifstream in(attribute);
    std::string value;
    return static_cast<bool>(in >> value) && value == "0";
}

// UARTs keep their type beside the tty on current kernels and in the device
// directory on older ones.
bool IsPlaceholderUart(const fs::path& tty)
{
    std::error_code ec;
    if (fs::exists(tty / "type", ec))
        return ReadsAsZero(tty / "type");
    return fs::exists(tty / "device" / "type", ec) && ReadsAsZero(tty / "device" / "type");
}

}  // namespace

bool NaturalLess(const std::u16string& a, const std::u16string& b)
{
    auto isDigit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            // Compare the runs by value: skip leading zeros, then length, then digits.
            std::size_t ei = i;
            std::size_t ej = j;
            while (ei < a.size() && isDigit(a[ei]))
                ++ei;
            while (ej < b.size() && isDigit(b[ej]))
                ++ej;
            std::size_t si = i;
            std::size_t sj = j;
            while (si + 1 < ei && a[si] == u'0')
                ++si;
            while (sj + 1 < ej && b[sj] == u'0')
                ++sj;
            if (ei - si != ej - sj)
                return ei - si < ej - sj;
            const int c = a.compare(si, ei - si, b, sj, ej - sj);
            if (c != 0)
                return c < 0;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

std::vector<std::u16string> EnumerateSerialPorts(const std::string& sysfsRoot)
{
    std::vector<std::u16string> ports;
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(sysfsRoot) / "class" / "tty", ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path tty = it->path();
        // Virtual terminals and pseudo-terminals have no device behind them.
        std::error_code linkError;
        if (!fs::exists(tty / "device", linkError) || IsPlaceholderUart(tty))
            continue;
        const std::string name = tty.filename().string();
        ports.emplace_back(name.begin(), name.end());  // kernel names are ASCII
    }
    std::sort(ports.begin(), ports.end(), NaturalLess);
    return ports;
}

}  // namespace pyrrow::platform
