// The firmware file of one upload, opened for us alone, measured once, read
// strictly in order and closed when the object goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/files/named_file.h"

namespace pyrrow::upload {

class FirmwareFile {
public:
    FirmwareFile() = default;
    FirmwareFile(const FirmwareFile&) = delete;
    FirmwareFile& operator=(const FirmwareFile&) = delete;

    // False when the file cannot be opened or measured; error says why.
    bool Open(const std::u16string& path, platform::SystemError* error);
    std::uint64_t Size() const { return m_size; }
    // The next bytes: up to size, fewer only at the end (*read is 0 there).
    bool Read(void* buffer, std::size_t size, std::size_t* read, platform::SystemError* error);

private:
    platform::NamedFile m_file;
    std::uint64_t m_size = 0;
};

}  // namespace pyrrow::upload
