#include "sim/recorder.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <span>
#include <system_error>
#include <utility>

#include <nlohmann/json.hpp>

#include "console/text.h"
#include "sim/options.h"
#include "upload/protocol.h"

namespace pyrrow::sim {
namespace {

// How every line of our trace begins: an existing file that does not is
// someone else's.
constexpr std::string_view kTraceStart = R"({"time":")";

// Names tried for one stored image: the time alone, then with -2, -3, ...
constexpr unsigned kStoreNames = 1000;

std::string Sha256(const std::string& bytes)
{
    return console::Sha256Hex(std::span(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
}

nlohmann::ordered_json TextOrNull(const std::string& text)
{
    return text.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(text);
}

std::string NotRegular(const std::string& path, platform::FileFacts::Kind kind)
{
    using Kind = platform::FileFacts::Kind;
    if (kind == Kind::Other)
        return path + " is no regular file";
    const char* what = kind == Kind::Folder ? "a folder"
                       : kind == Kind::Fifo ? "a FIFO"
                       : kind == Kind::Device ? "a device"
                                              : "a socket";
    return path + " is " + what + ", not a regular file";
}

// Opens the regular file at path, looked at first so that a FIFO or a
// device is never opened; *facts are those of the open file. The problem,
// or "" when it is open.
std::string OpenRegular(const std::string& path, platform::NamedFile::Access access, platform::NamedFile& file,
                        platform::FileFacts* facts)
{
    platform::SystemError error;
    if (!platform::FactsAt(path, facts, &error))
        return path + ": " + error.text;
    if (!facts->Regular())
        return NotRegular(path, facts->kind);
    if (!file.Open(path, access, &error))
        return "cannot open " + path + ": " + error.text;
    // Refuses what another program put in place between the look and the open.
    if (!file.Facts(facts, &error))
        return path + ": " + error.text;
    return facts->Regular() ? std::string() : NotRegular(path, facts->kind);
}

// Reads a regular file of at most limit bytes whole into *bytes. The
// problem, or "".
std::string ReadRegular(const std::string& path, std::uint64_t limit, std::string* bytes)
{
    platform::NamedFile file;
    platform::FileFacts facts;
    if (std::string problem = OpenRegular(path, platform::NamedFile::Access::Read, file, &facts); !problem.empty())
        return problem;
    const std::string tooLarge = path + " is larger than " + std::to_string(limit) + " bytes";
    if (facts.size > limit)
        return tooLarge;
    char buffer[65536];
    for (;;) {
        std::size_t n = 0;
        if (platform::SystemError error; !file.Read(buffer, sizeof buffer, &n, &error))
            return "reading " + path + ": " + error.text;
        if (n == 0)
            return {};
        if (bytes->size() + n > limit)
            return tooLarge;
        bytes->append(buffer, n);
    }
}

// Makes what was written durable and closes the file: a full disk may show
// only then, while the file can still be removed and the failure told. The
// problem, or "".
std::string Finish(platform::NamedFile& file, const std::string& path)
{
    platform::SystemError error;
    if (!file.Sync(&error)) {
        file.Close(nullptr);
        return "writing " + path + " out: " + error.text;
    }
    return file.Close(&error) ? std::string() : "closing " + path + ": " + error.text;
}

}  // namespace

Recorder::Opened Recorder::Open(const Options& options)
{
    std::unique_ptr<Recorder> recorder(new Recorder(options));
    if (!options.storeDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(options.storeDir, ec);
        if (ec || !std::filesystem::is_directory(options.storeDir))
            return {nullptr, "cannot make the store folder " + options.storeDir + ": " +
                                 (ec ? ec.message() : std::string("it is not a folder"))};
    }
    if (!options.expectFile.empty()) {
        std::string image;
        if (const std::string why = ReadRegular(options.expectFile, kExpectLimit, &image); !why.empty())
            return {nullptr, "--expect: " + why};
        if (image.size() < protocol::kHeaderSize)
            return {nullptr, "--expect: " + options.expectFile + " has " + std::to_string(image.size()) +
                                 " bytes, fewer than a header's " + std::to_string(protocol::kHeaderSize)};
        recorder->m_expectedSha256 = Sha256(image);
        recorder->m_expected = std::move(image);
    }
    if (!options.traceFile.empty()) {
        if (std::string why = recorder->OpenTrace(); !why.empty())
            return {nullptr, std::move(why)};
    }
    return {std::move(recorder), {}};
}

std::string Recorder::OpenTrace()
{
    using Access = platform::NamedFile::Access;
    const std::string& path = m_options.traceFile;
    platform::SystemError error;
    if (m_trace.Open(path, Access::CreateNew, &error))
        return {};
    if (error.kind != platform::SystemError::Kind::Exists)
        return "--trace: cannot make " + path + ": " + error.text;
    // Only a trace of an earlier run (or an empty file) is replaced.
    platform::FileFacts facts;
    std::string why = OpenRegular(path, Access::Rewrite, m_trace, &facts);
    std::string head(kTraceStart.size(), '\0');
    std::size_t got = 0;
    for (std::size_t n = 1; why.empty() && n > 0 && got < head.size(); got += n) {
        if (!m_trace.Read(head.data() + got, head.size() - got, &n, &error))
            why = "reading " + path + ": " + error.text;
    }
    head.resize(got);
    if (why.empty() && !head.empty() && head != kTraceStart)
        why = path + " is there and is no trace of pyrrow-sim; it is left alone (remove it or name another)";
    if (why.empty() && !m_trace.Truncate(0, &error))
        why = "emptying " + path + ": " + error.text;
    if (why.empty())
        return {};
    m_trace.Close(nullptr);
    return "--trace: " + why;
}

Recorder::~Recorder()
{
    std::string problem;
    {
        const std::lock_guard lock(m_traceMutex);
        if (m_trace.IsOpen())
            problem = Finish(m_trace, m_options.traceFile);
    }
    if (!problem.empty())
        std::cerr << "pyrrow-sim: the trace file " << m_options.traceFile << ": " << problem << "\n";
}

void Recorder::SyncTrace()
{
    const std::lock_guard lock(m_traceMutex);
    if (m_trace.IsOpen())
        m_trace.Sync(nullptr);
}

void Recorder::AddUnit(const std::string& unit, Link link, const std::string& address)
{
    m_units.push_back(Unit{unit, link, address, 1, {}});
}

Recorder::Unit* Recorder::Find(const std::string& unit)
{
    const auto u = std::find_if(m_units.begin(), m_units.end(), [&unit](const Unit& x) { return x.name == unit; });
    return u == m_units.end() ? nullptr : &*u;
}

void Recorder::Arrived(const std::string& unit, unsigned number, unsigned count, const std::string& address)
{
    if (Unit* u = Find(unit)) {
        u->arrival = number;
        u->address = address;
    }
    Event(unit, "unit " + std::to_string(number) + " of " + std::to_string(count) + " arrived");
    std::cerr << unit << ": unit " << number << " of " << count << " is there: " << address << "\n";
}

void Recorder::Left(const std::string& unit, unsigned number, unsigned count, double gapSeconds)
{
    Event(unit, "unit " + std::to_string(number) + " of " + std::to_string(count) + " left");
    std::cerr << unit << ": unit " << number << " of " << count << " left; the next comes in " << gapSeconds
              << " s\n";
}

void Recorder::Trace(const std::string& unit, std::string_view direction, const void* data, std::size_t size,
                     std::string_view event, const Fault* fault)
{
    if (!m_trace.IsOpen())
        return;
    nlohmann::ordered_json line;
    line["time"] = console::UtcText(std::chrono::system_clock::now());
    line["unit"] = unit;
    line["dir"] = direction;
    if (event.empty())
        line["hex"] = console::HexText(std::span(static_cast<const unsigned char*>(data), size));
    else
        line["event"] = event;
    if (fault != nullptr)
        line["fault"] = fault->text;
    // Paths are bytes: text that is not UTF-8 is replaced, not left to end us.
    const std::string text = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    // A line at a time, so that a trace read while the simulator runs (or
    // after it was killed) ends on a whole exchange.
    {
        const std::lock_guard lock(m_traceMutex);
        platform::SystemError error;
        if (m_trace.Write(text.data(), text.size(), &error)) {
            m_traceWritten += text.size();
            return;
        }
        // A full disk may take part of a line: the trace keeps its whole ones.
        const bool cut = m_trace.Truncate(m_traceWritten, nullptr);
        m_traceError = "writing " + m_options.traceFile + ": " + error.text + "; it ends with the line before (" +
                       std::to_string(m_traceWritten) + " bytes)" + (cut ? "" : ", and a piece of this one");
        m_trace.Close(nullptr);
    }
    Changed();
    std::cerr << "pyrrow-sim: the trace file " << m_options.traceFile << ": " << m_traceError << "; tracing stops\n";
}

void Recorder::Received(const std::string& unit, const void* data, std::size_t size)
{
    if (Unit* u = Find(unit); u != nullptr && size > 0 && !u->uploading) {
        u->uploading = true;
        Changed();
    }
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

void Recorder::Store(const std::string& unit, const std::string& image, Upload& upload)
{
    // Made exclusively: never over a file that is there, whoever put it
    // there (another simulator storing into the same folder included).
    const std::string stem = unit + "_" + console::UtcFileText(std::chrono::system_clock::now());
    for (unsigned n = 1; n <= kStoreNames; ++n) {
        std::string name = stem;
        if (n > 1) {
            name += '-';
            name += std::to_string(n);
        }
        name += ".fw";
        const std::string path = (std::filesystem::path(m_options.storeDir) / name).string();
        platform::NamedFile file;
        platform::SystemError error;
        if (!file.Open(path, platform::NamedFile::Access::CreateNew, &error)) {
            if (error.kind == platform::SystemError::Kind::Exists)
                continue;
            upload.storeError = "cannot make " + path + ": " + error.text;
            return;
        }
        const std::string problem = file.Write(image.data(), image.size(), &error)
                                        ? Finish(file, path)
                                        : "writing " + path + ": " + error.text;
        if (!problem.empty()) {
            file.Close(nullptr);
            platform::RemoveFile(path);
            upload.storeError = problem + "; the partial file was removed";
            return;
        }
        upload.stored = path;
        return;
    }
    upload.storeError =
        "every name from " + stem + ".fw to " + stem + "-" + std::to_string(kStoreNames) + ".fw is taken";
}

std::string Recorder::Difference(Link link, const std::string& image) const
{
    const std::string& expected = *m_expected;
    // Over USB the last report brings zeros after the image's end.
    std::size_t padding = 0;
    if (link == Link::Usb && image.size() > expected.size() &&
        image.size() - expected.size() < protocol::kUsbReportSize &&
        std::all_of(image.begin() + static_cast<std::ptrdiff_t>(expected.size()), image.end(),
                    [](char c) { return c == '\0'; }))
        padding = image.size() - expected.size();
    const std::size_t size = image.size() - padding;
    const auto differ = std::mismatch(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(std::min(size, expected.size())),
                                      expected.begin());
    const auto first = static_cast<std::size_t>(differ.first - image.begin());
    if (size == expected.size() && first == size)
        return {};
    std::string text = std::to_string(size) + " bytes of " + m_options.expectFile + "'s " +
                       std::to_string(expected.size());
    if (first < std::min(size, expected.size()))
        text += ", differing from byte " + std::to_string(first) + " on";
    return text;
}

void Recorder::UploadEnded(const std::string& unit, UploadRecord record)
{
    Unit* place = Find(unit);
    Upload upload;
    upload.arrival = place != nullptr ? place->arrival : 1;
    upload.bytes = record.image.size();
    upload.sha256 = Sha256(record.image);
    const Link link = place != nullptr ? place->link : Link::Tcp;
    const std::string image = std::exchange(record.image, {});
    static_cast<UploadRecord&>(upload) = std::move(record);
    std::string difference;
    if (m_expected) {
        difference = Difference(link, image);
        upload.expected = difference.empty();
    }
    if (upload.cleanEnd && !m_options.storeDir.empty()) {
        Store(unit, image, upload);
        m_storeFailed = m_storeFailed || upload.stored.empty();
    }
    Event(unit, "upload ended: " + upload.end);

    // What was seen, never more: a program stopped between two frames ends
    // the link as one that sent everything does.
    std::string line = unit + ": upload ended after " + std::to_string(upload.bytes) + " bytes in " +
                       std::to_string(upload.frames) + " frames: " + upload.end;
    if (!upload.countersInOrder)
        line += ", counters out of order";
    for (const std::string& f : upload.faults)
        line += ", fault " + f;
    // A serial line shows no size and no last block: only the image
    // expected tells a stopped program from one that sent everything.
    if (upload.cleanEnd && link == Link::Serial && !m_expected)
        line += "; without --expect the simulator cannot tell whether the image was whole";
    line += "; SHA-256 " + upload.sha256;
    if (!upload.cleanEnd) {
        line += "; it did not end in order";
        for (std::size_t i = 0; i < upload.problems.size(); ++i)
            line += (i == 0 ? ": " : ", ") + upload.problems[i];
    }
    if (upload.expected && !*upload.expected)
        line += "; it is NOT the expected image " + m_options.expectFile + " (" + difference + ")";
    else if (upload.expected && upload.cleanEnd)
        line += "; it is the expected image " + m_options.expectFile;
    else if (upload.expected)
        line += "; its bytes are those of the expected image " + m_options.expectFile + ", but it did not end in order";
    if (!upload.stored.empty())
        line += "; stored as " + upload.stored;
    if (!upload.storeError.empty())
        line += "; NOT stored: " + upload.storeError;
    if (place != nullptr) {
        place->uploads.push_back(std::move(upload));
        place->uploading = false;
    }
    Changed();
    std::cerr << line << "\n";
}

bool Recorder::EveryUploadAsExpected(unsigned required) const
{
    for (const Unit& u : m_units) {
        if (u.uploads.size() < required || u.uploading)
            return false;
        for (const Upload& up : u.uploads) {
            if (!up.cleanEnd || !up.expected.value_or(true))
                return false;
        }
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
            nlohmann::ordered_json j;
            j["arrival"] = up.arrival;
            j["clean_end"] = up.cleanEnd;
            j["expected"] = up.expected ? nlohmann::ordered_json(*up.expected) : nlohmann::ordered_json();
            j["bytes"] = up.bytes;
            j["frames"] = up.frames;
            j["counters_in_order"] = up.countersInOrder;
            j["sha256"] = up.sha256;
            j["stored"] = TextOrNull(up.stored);
            j["store_error"] = TextOrNull(up.storeError);
            j["end"] = up.end;
            j["faults"] = up.faults;
            for (const std::string& f : up.faults)
                ++hits[f];
            uploads.push_back(std::move(j));
        }
        units.push_back({{"unit", u.name}, {"link", LinkName(u.link)}, {"address", u.address}, {"uploads", uploads}});
    }
    nlohmann::ordered_json summary;
    summary["v"] = 2;
    summary["expect"] = m_expected ? nlohmann::ordered_json{{"file", m_options.expectFile},
                                                            {"bytes", m_expected->size()},
                                                            {"sha256", m_expectedSha256}}
                                   : nlohmann::ordered_json();
    summary["units"] = std::move(units);
    summary["faults_hit"] = hits;
    summary["trace_error"] = TextOrNull(m_traceError);
    summary["exit_code"] = exitCode;
    return summary.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace pyrrow::sim
