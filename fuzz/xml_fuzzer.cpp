// libFuzzer target for the XML document: the input, read as UTF-16LE the way
// Load reads a file, is parsed; the tree is saved, loaded and parsed again.
// Nothing may crash, leak or hang, whatever the input.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include <utf8.h>

#include "xml/notice.h"
#include "xml/xml_file.h"

namespace {

void Quiet(const char16_t*, const char16_t*) {}

// One file per fuzzing process, on a memory file system when there is one,
// removed when the process ends.
struct Scratch {
    Scratch()
    {
        const char* dir = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        name = std::string(dir) + "/pyrrow-fuzz-" + std::to_string(::getpid()) + ".xml";
        path = utf8::utf8to16(name);
        pyrrow::SetNoticeHandler(Quiet);
    }
    ~Scratch() { ::unlink(name.c_str()); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    std::string name;
    std::u16string path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const Scratch scratch;

    CMyXMLFile doc;
    const auto units = static_cast<std::int32_t>(size / 2);
    if (!doc.m_strContent.Alloc(units))
        return 0;
    char16_t* buffer = doc.m_strContent.GetBuffer();
    std::memcpy(buffer, data, static_cast<std::size_t>(units) * 2);
    buffer[units] = 0;
    doc.m_strContent.ReleaseBuffer();
    doc.Parse();

    if (doc.Save(scratch.path.c_str()) == 1 && doc.Load(scratch.path.c_str()) == 1)
        doc.Parse();
    return 0;
}
