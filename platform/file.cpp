#include "platform/file.h"

namespace pyrrow::platform {

bool ReadFromStart(FileHandle f, void* buffer, std::size_t size, std::size_t* read)
{
    *read = 0;
    return f != nullptr && RewindFile(f) && ReadNext(f, buffer, size, read);
}

bool ReadNext(FileHandle f, void* buffer, std::size_t size, std::size_t* read, SystemError* error)
{
    *read = 0;
    if (f == nullptr)
        return false;
    auto* out = static_cast<char*>(buffer);
    while (*read < size) {
        std::size_t n = 0;
        if (!ReadSome(f, out + *read, size - *read, &n, error))
            return false;
        if (n == 0)
            break;
        *read += n;
    }
    return true;
}

}  // namespace pyrrow::platform
