#include "upload/firmware_file.h"

#include "platform/utf.h"

namespace pyrrow::upload {

bool FirmwareFile::Open(const std::u16string& path, platform::SystemError* error)
{
    const std::optional<std::string> name = platform::Utf16ToUtf8(path);
    if (!name || name->empty()) {
        platform::SetErrorText(error, platform::SystemError::Kind::NotFound, "no such file can be named");
        return false;
    }
    platform::FileFacts facts;
    if (!m_file.Open(*name, platform::NamedFile::Access::ReadExclusive, error) || !m_file.Facts(&facts, error))
        return false;
    m_size = facts.size;
    return true;
}

bool FirmwareFile::Read(void* buffer, std::size_t size, std::size_t* read, platform::SystemError* error)
{
    return m_file.Read(buffer, size, read, error);
}

}  // namespace pyrrow::upload
