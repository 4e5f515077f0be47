#include <string>

#include "platform/files/executable.h"
#include "platform/files/named_file.h"

namespace pyrrow::platform {

void RemovePathExtension(char16_t* path)
{
    const std::u16string text(path);
    const std::size_t separator = LastPathSeparator(text);
    const std::size_t dot = text.rfind(u'.');
    if (dot != std::u16string::npos && (separator == std::u16string::npos || dot > separator))
        path[dot] = 0;
}

}  // namespace pyrrow::platform
