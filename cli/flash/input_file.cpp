#include "cli/flash/input_file.h"

#include <new>

#include "cli/output/progress.h"

namespace pyrrow::cli {
namespace {

// Small enough that a stop request is seen within a fraction of a second
// even on a slow network share.
constexpr std::size_t kPiece = 1024 * 1024;

}  // namespace

InputFile ReadInputFile(const std::string& what, const std::string& path, std::uint64_t maxBytes,
                        std::stop_token stop)
{
    InputFile file;
    const auto failed = [&file](std::string problem) {
        file.problem = std::move(problem);
        return std::move(file);
    };
    platform::NamedFile named;
    platform::SystemError error;
    platform::FileFacts facts;
    if (!named.Open(path, platform::NamedFile::Access::Read, &error) || !named.Facts(&facts, &error))
        return failed("cannot open " + what + " " + path + ": " + error.text);
    if (!facts.Regular())
        return failed("cannot read " + what + " " + path + ": not a regular file (a folder, FIFO or device)");
    const std::string tooLarge = "cannot read " + what + " " + path + ": it holds more than " +
                                 FormatBytes(maxBytes) + " (" + std::to_string(maxBytes) + " bytes), the most " +
                                 "this tool reads";
    if (facts.size > maxBytes)
        return failed(tooLarge);
    file.identity = facts.identity;
    std::vector<unsigned char>& bytes = file.bytes;
    try {
        // The size may change while the file is read; what is there counts,
        // up to the limit.
        bytes.reserve(static_cast<std::size_t>(facts.size));
        for (;;) {
            if (stop.stop_requested()) {
                file.status = ReadStatus::Stopped;
                return failed("stopped on request while reading " + what + " " + path);
            }
            const std::size_t start = bytes.size();
            bytes.resize(start + kPiece);
            std::size_t read = 0;
            if (!named.Read(bytes.data() + start, kPiece, &read, &error))
                return failed("cannot read " + what + " " + path + ": " + error.text);
            bytes.resize(start + read);
            if (bytes.size() > maxBytes)
                return failed(tooLarge);
            if (read == 0) {
                file.status = ReadStatus::Read;
                return file;
            }
        }
    } catch (const std::bad_alloc&) {
        return failed("cannot read " + what + " " + path + ": not enough memory for its " + FormatBytes(facts.size));
    }
}

}  // namespace pyrrow::cli
