#include "cli/firmware_image.h"

#include "platform/sha256.h"
#include "upload/upload_engine.h"

namespace pyrrow::cli {

std::optional<FirmwareImage> LoadFirmware(const std::string& path, std::stop_token stop, std::string* problem,
                                          bool* stopped)
{
    InputFile file;
    const ReadStatus status = ReadInputFile("the firmware file", path, kMaxFirmwareBytes, stop, &file, problem);
    *stopped = status == ReadStatus::Stopped;
    if (status != ReadStatus::Read)
        return std::nullopt;
    if (file.bytes.size() < upload::kHeaderSize) {
        *problem = "the firmware file " + path + " has " + std::to_string(file.bytes.size()) +
                   " bytes, fewer than its 32-byte header";
        return std::nullopt;
    }
    FirmwareImage image;
    image.path = path;
    image.bytes = std::move(file.bytes);
    image.identity = file.identity;
    image.sha256 = platform::Sha256Hex(image.bytes);
    return image;
}

}  // namespace pyrrow::cli
