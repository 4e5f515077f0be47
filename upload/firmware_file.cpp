#include "upload/firmware_file.h"

namespace pyrrow::upload {

bool FirmwareFile::Open(const std::u16string& path, platform::SystemError* error)
{
    m_file = platform::OpenExclusiveForReading(path.c_str(), error);
    if (m_file == nullptr)
        return false;
    if (!platform::GetFileSize(m_file, &m_size)) {
        platform::SetErrorText(error, platform::SystemError::Kind::Other, "its size cannot be had");
        return false;
    }
    return true;
}

bool FirmwareFile::Read(void* buffer, std::size_t size, std::size_t* read, platform::SystemError* error)
{
    return platform::ReadNext(m_file, buffer, size, read, error);
}

}  // namespace pyrrow::upload
