// What the simulated units received and did: every exchange as a JSON line
// in the trace file, each image whose upload ended in order stored as a
// file, a line per upload on standard error (why it did not end in order,
// whether it was the image expected), and at the end a summary of all
// uploads. Of an upload only its figures are kept, never its bytes, so that
// a long run stays small.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/named_file.h"
#include "sim/faults.h"

namespace pyrrow::sim {

// One upload as a unit saw it, from the program's first byte to the end of
// the link.
struct UploadRecord {
    std::string image;               // the header and the data, as received
    std::uint64_t frames = 0;        // TCP frames, serial blocks of 256 bytes, USB reports after the header
    bool countersInOrder = true;     // TCP: every counter the one expected
    // The program ended the link itself after an exchange without faults or
    // malformed frames, every answer sent. Whether it sent all it meant to
    // cannot be seen from here: a program stopped between two frames ends
    // the same way (--expect tells).
    bool cleanEnd = false;
    std::string end;                 // how it ended, in words
    std::vector<std::string> faults;  // the faults it hit, in order
    // Why it did not end in order, beyond how it ended and its faults: a
    // malformed frame, an answer that did not go out, a frame cut off.
    std::vector<std::string> problems;
};

class Recorder {
public:
    struct Options {
        std::string storeDir;    // empty: images are not stored
        std::string traceFile;   // empty: no trace
        std::string expectFile;  // empty: no image is expected
    };

    // Creates the store folder and the trace file and reads the expected
    // image; when one cannot be, no recorder but what failed and why.
    struct Opened {
        std::unique_ptr<Recorder> recorder;
        std::string problem;
    };
    static Opened Open(const Options& options);
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Units are named like "tcp-1" after their place; address is where the
    // program finds them.
    void AddUnit(const std::string& unit, Link link, const std::string& address);
    // A new unit came to the place of unit (a production line), the
    // number-th of count, at address; Left: the one there went away.
    void Arrived(const std::string& unit, unsigned number, unsigned count, const std::string& address);
    void Left(const std::string& unit, unsigned number, unsigned count, double gapSeconds);

    // The trace: bytes the unit received, bytes it sent (with the fault
    // that shaped them), and what happened to the link.
    void Received(const std::string& unit, const void* data, std::size_t size);
    void Sent(const std::string& unit, const void* data, std::size_t size, const Fault* fault);
    void Event(const std::string& unit, std::string_view what, const Fault* fault = nullptr);

    // Compares the image with the expected one, stores it, tells the
    // operator and keeps the upload's figures for the summary.
    void UploadEnded(const std::string& unit, UploadRecord record);

    // Every place had at least required uploads, and every upload ended in
    // order and was the expected image (when one is); one that still runs
    // does not count as in order.
    bool EveryUploadAsExpected(unsigned required) const;
    // An image could not be stored or the trace could not be written.
    bool RecordFailed() const { return m_storeFailed || !m_traceError.empty(); }
    // Called whenever what the run would end with may have changed (an
    // upload began or ended, a record failed), before anything is said.
    void OnChange(std::function<void()> changed) { m_changed = std::move(changed); }
    // Syncs the trace; safe from another thread while the units run.
    void SyncTrace();

    // The summary as one JSON object.
    std::string SummaryJson(int exitCode) const;

private:
    // The record's figures (its image is not kept) and what became of it.
    struct Upload : UploadRecord {
        unsigned arrival = 1;  // which unit of the place took it
        std::uint64_t bytes = 0;
        std::optional<bool> expected;  // none: nothing was expected
        std::string sha256;
        std::string stored;
        std::string storeError;
    };
    struct Unit {
        std::string name;
        Link link;
        std::string address;
        unsigned arrival = 1;
        std::vector<Upload> uploads;
        bool uploading = false;  // bytes came since the last upload ended
    };

    explicit Recorder(Options options) : m_options(std::move(options)) {}
    // The problem, or "" when the trace is open.
    std::string OpenTrace();
    void Trace(const std::string& unit, std::string_view direction, const void* data, std::size_t size,
               std::string_view event, const Fault* fault);
    // Sets upload's stored (the file's name) or its storeError.
    void Store(const std::string& unit, const std::string& image, Upload& upload);
    // Empty when image is the expected one; else how it differs.
    std::string Difference(Link link, const std::string& image) const;
    Unit* Find(const std::string& unit);
    void Changed()
    {
        if (m_changed)
            m_changed();
    }

    Options m_options;
    std::function<void()> m_changed;
    std::mutex m_traceMutex;  // m_trace and m_traceWritten: the final sync comes from another thread
    platform::NamedFile m_trace;
    std::uint64_t m_traceWritten = 0;  // bytes of whole lines in the trace
    std::string m_traceError;
    bool m_storeFailed = false;
    std::optional<std::string> m_expected;
    std::string m_expectedSha256;
    std::vector<Unit> m_units;
};

}  // namespace pyrrow::sim
