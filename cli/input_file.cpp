#include "cli/input_file.h"

#include <new>

#include "cli/progress.h"

namespace pyrrow::cli {
namespace {

// Small enough that a stop request is seen within a fraction of a second
// even on a slow network share.
constexpr std::size_t kPiece = 1024 * 1024;

}  // namespace

ReadStatus ReadInputFile(const std::string& what, const std::string& path, std::uint64_t maxBytes,
                         std::stop_token stop, InputFile* file, std::string* problem)
{
    NamedFile named;
    std::string reason;
    FileFacts facts;
    if (!named.OpenToRead(path, &reason) || !named.Facts(&facts, &reason)) {
        *problem = "cannot open " + what + " " + path + ": " + reason;
        return ReadStatus::Failed;
    }
    if (!facts.regular) {
        *problem = "cannot read " + what + " " + path + ": not a regular file (a folder, FIFO or device)";
        return ReadStatus::Failed;
    }
    const std::string tooLarge = "cannot read " + what + " " + path + ": it holds more than " +
                                 FormatBytes(maxBytes) + " (" + std::to_string(maxBytes) + " bytes), the most " +
                                 "this tool reads";
    if (facts.size > maxBytes) {
        *problem = tooLarge;
        return ReadStatus::Failed;
    }
    file->identity = facts.identity;
    std::vector<unsigned char>& bytes = file->bytes;
    try {
        // The size may change while the file is read; what is there counts,
        // up to the limit.
        bytes.reserve(static_cast<std::size_t>(facts.size));
        for (;;) {
            if (stop.stop_requested()) {
                *problem = "stopped on request while reading " + what + " " + path;
                return ReadStatus::Stopped;
            }
            const std::size_t start = bytes.size();
            bytes.resize(start + kPiece);
            std::size_t read = 0;
            if (!named.Read(bytes.data() + start, kPiece, &read, &reason)) {
                *problem = "cannot read " + what + " " + path + ": " + reason;
                return ReadStatus::Failed;
            }
            bytes.resize(start + read);
            if (bytes.size() > maxBytes) {
                *problem = tooLarge;
                return ReadStatus::Failed;
            }
            if (read == 0)
                return ReadStatus::Read;
        }
    } catch (const std::bad_alloc&) {
        *problem = "cannot read " + what + " " + path + ": not enough memory for its " + FormatBytes(facts.size);
        return ReadStatus::Failed;
    }
}

}  // namespace pyrrow::cli
