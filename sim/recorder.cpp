#include "sim/recorder.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <span>
#include <system_error>

#include <nlohmann/json.hpp>

#include "platform/sha256.h"
#include "sim/wall_clock.h"

namespace pyrrow::sim {
namespace {

std::string Hex(const void* data, std::size_t size)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::string text;
    text.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0xF];
    }
    return text;
}

}  // namespace

std::unique_ptr<Recorder> Recorder::Open(const Options& options, std::string* error)
{
    std::unique_ptr<Recorder> recorder(new Recorder(options));
    if (!options.storeDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(options.storeDir, ec);
        if (ec || !std::filesystem::is_directory(options.storeDir)) {
            *error = "cannot make the store folder " + options.storeDir + ": " +
                     (ec ? ec.message() : std::string("it is not a folder"));
            return nullptr;
        }
    }
    if (!options.traceFile.empty()) {
        recorder->m_trace = std::fopen(options.traceFile.c_str(), "w");
        if (recorder->m_trace == nullptr) {
            *error = "cannot write the trace file " + options.traceFile + ": " + std::strerror(errno);
            return nullptr;
        }
    }
    return recorder;
}

Recorder::~Recorder()
{
    if (m_trace != nullptr)
        std::fclose(m_trace);
}

void Recorder::AddUnit(const std::string& unit, Link link, const std::string& address)
{
    m_units.push_back(Unit{unit, link, address, {}});
}

void Recorder::Trace(const std::string& unit, std::string_view direction, const void* data, std::size_t size,
                     std::string_view event, const Fault* fault)
{
    if (m_trace == nullptr)
        return;
    nlohmann::ordered_json line;
    line["time"] = UtcText(std::chrono::system_clock::now());
    line["unit"] = unit;
    line["dir"] = direction;
    if (event.empty())
        line["hex"] = Hex(data, size);
    else
        line["event"] = event;
    if (fault != nullptr)
        line["fault"] = fault->text;
    // Paths are bytes: text that is not UTF-8 is replaced, not left to end us.
    const std::string text = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    // A line at a time, so that a trace read while the simulator runs (or
    // after it was killed) ends on a whole exchange.
    if (std::fputs(text.c_str(), m_trace) < 0 || std::fflush(m_trace) != 0) {
        std::cerr << "pyrrow-sim: writing the trace file " << m_options.traceFile << ": " << std::strerror(errno)
                  << "; tracing stops\n";
        std::fclose(m_trace);
        m_trace = nullptr;
    }
}

void Recorder::Received(const std::string& unit, const void* data, std::size_t size)
{
    Trace(unit, "in", data, size, {}, nullptr);
}

void Recorder::Sent(const std::string& unit, const void* data, std::size_t size, const Fault* fault)
{
    Trace(unit, "out", data, size, {}, fault);
}

void Recorder::Event(const std::string& unit, std::string_view what, const Fault* fault)
{
    Trace(unit, "event", nullptr, 0, what, fault);
}

std::string Recorder::Store(const std::string& unit, const std::string& image)
{
    const std::filesystem::path file =
        std::filesystem::path(m_options.storeDir) / (unit + "_" + UtcFileText(std::chrono::system_clock::now()) + ".fw");
    // Never over an image stored before (the simulator alone names them,
    // one at a time).
    std::error_code ec;
    if (std::filesystem::exists(file, ec) || ec) {
        std::cerr << "pyrrow-sim: " << unit << ": cannot store the image as " << file.string() << ": "
                  << (ec ? ec.message() : std::string("a file of that name is there")) << "\n";
        return {};
    }
    errno = 0;
    std::ofstream out(file, std::ios::binary);
    out.write(image.data(), static_cast<std::streamsize>(image.size()));
    out.close();
    if (!out) {
        std::cerr << "pyrrow-sim: " << unit << ": cannot store the image as " << file.string() << ": "
                  << std::strerror(errno != 0 ? errno : EIO) << "\n";
        return {};
    }
    return file.string();
}

void Recorder::UploadEnded(const std::string& unit, UploadRecord record)
{
    Upload upload;
    upload.sha256 = platform::Sha256Hex(
        std::span(reinterpret_cast<const unsigned char*>(record.image.data()), record.image.size()));
    if (record.complete && !m_options.storeDir.empty())
        upload.stored = Store(unit, record.image);
    Event(unit, "upload ended: " + record.end);

    std::cerr << unit << ": " << (record.complete ? "complete" : "incomplete") << " upload of " << record.image.size()
              << " bytes, " << record.frames << " frames, " << record.end;
    if (!record.countersInOrder)
        std::cerr << ", counters out of order";
    for (const std::string& f : record.faults)
        std::cerr << ", fault " << f;
    std::cerr << "; SHA-256 " << upload.sha256;
    if (!upload.stored.empty())
        std::cerr << "; stored as " << upload.stored;
    std::cerr << "\n";

    upload.record = std::move(record);
    for (Unit& u : m_units) {
        if (u.name == unit)
            u.uploads.push_back(std::move(upload));
    }
}

bool Recorder::EveryUnitComplete() const
{
    for (const Unit& u : m_units) {
        if (u.uploads.empty() || !u.uploads.front().record.complete)
            return false;
    }
    return true;
}

std::string Recorder::SummaryJson(int exitCode) const
{
    nlohmann::ordered_json units = nlohmann::ordered_json::array();
    std::map<std::string, int> hits;
    for (const Unit& u : m_units) {
        nlohmann::ordered_json uploads = nlohmann::ordered_json::array();
        for (const Upload& up : u.uploads) {
            const UploadRecord& r = up.record;
            nlohmann::ordered_json j;
            j["complete"] = r.complete;
            j["bytes"] = r.image.size();
            j["frames"] = r.frames;
            j["counters_in_order"] = r.countersInOrder;
            j["sha256"] = up.sha256;
            j["stored"] = up.stored.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(up.stored);
            j["end"] = r.end;
            j["faults"] = r.faults;
            for (const std::string& f : r.faults)
                ++hits[f];
            uploads.push_back(std::move(j));
        }
        units.push_back({{"unit", u.name}, {"link", LinkName(u.link)}, {"address", u.address}, {"uploads", uploads}});
    }
    nlohmann::ordered_json summary;
    summary["v"] = 1;
    summary["units"] = std::move(units);
    summary["faults_hit"] = hits;
    summary["exit_code"] = exitCode;
    return summary.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace pyrrow::sim
