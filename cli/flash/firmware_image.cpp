#include "cli/flash/firmware_image.h"

#include "console/text.h"
#include "upload/upload_engine.h"

namespace pyrrow::cli {

FirmwareLoad LoadFirmware(const std::string& path, std::stop_token stop)
{
    InputFile file = ReadInputFile("the firmware file", path, kMaxFirmwareBytes, stop);
    if (file.status != ReadStatus::Read)
        return {std::nullopt, std::move(file.problem), file.status == ReadStatus::Stopped};
    if (file.bytes.size() < upload::kHeaderSize)
        return {std::nullopt,
                "the firmware file " + path + " has " + std::to_string(file.bytes.size()) +
                    " bytes, fewer than its 32-byte header",
                false};
    FirmwareImage image;
    image.path = path;
    image.bytes = std::move(file.bytes);
    image.identity = file.identity;
    image.sha256 = console::Sha256Hex(image.bytes);
    return {std::move(image), {}, false};
}

}  // namespace pyrrow::cli
