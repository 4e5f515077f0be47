#include "cli/firmware_image.h"

#include "platform/sha256.h"
#include "platform/utf.h"
#include "upload/firmware_file.h"
#include "upload/upload_engine.h"

namespace pyrrow::cli {

std::optional<FirmwareImage> LoadFirmware(const std::string& path, std::string* problem)
{
    upload::FirmwareFile file;
    platform::SystemError error;
    if (!file.Open(platform::Utf8ToUtf16Lossy(path), &error)) {
        *problem = "cannot open the firmware file " + path + ": " + error.text;
        return std::nullopt;
    }
    FirmwareImage image;
    image.path = path;
    if (file.Size() < upload::kHeaderSize) {
        *problem = "the firmware file " + path + " has " + std::to_string(file.Size()) +
                   " bytes, fewer than its 32-byte header";
        return std::nullopt;
    }
    image.bytes.resize(static_cast<std::size_t>(file.Size()));
    std::size_t read = 0;
    if (!file.Read(image.bytes.data(), image.bytes.size(), &read, &error) || read != image.bytes.size()) {
        *problem = "cannot read the firmware file " + path + ": " +
                   (error.text.empty() ? "it ended after " + std::to_string(read) + " bytes" : error.text);
        return std::nullopt;
    }
    image.sha256 = platform::Sha256Hex(image.bytes);
    return image;
}

}  // namespace pyrrow::cli
