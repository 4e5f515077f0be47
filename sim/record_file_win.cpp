// Record files on Windows, through the C runtime's wide-character calls:
// the name is looked at before it is opened, so that a device name
// (a COM port, a pipe) is never opened; Windows has no FIFOs in the file
// system.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "sim/record_file.h"
#include "platform/utf.h"
#include "platform/windows_text.h"

namespace pyrrow::sim {
namespace {

std::wstring Utf8ToWide(const std::string& text)
{
    return platform::ToWide(platform::Utf8ToUtf16Lossy(text));
}

std::string Reason(const std::string& what, int error)
{
    return what + ": " + std::strerror(error);
}

// Empty for a regular file on a disk; else what the name is, in words.
std::string NotRegular(const std::string& path)
{
    struct _stat64 s {};
    if (::_wstat64(Utf8ToWide(path).c_str(), &s) != 0)
        return Reason(path, errno);
    if ((s.st_mode & _S_IFMT) == _S_IFDIR)
        return path + " is a folder, not a regular file";
    if ((s.st_mode & _S_IFMT) != _S_IFREG)
        return path + " is no regular file";
    return {};
}

class WinFile final : public RecordFile {
public:
    WinFile(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
    ~WinFile() override
    {
        if (m_fd >= 0)
            ::_close(m_fd);
    }

    bool Truncate(std::string* error) override
    {
        if (::_chsize_s(m_fd, 0) == 0 && ::_lseeki64(m_fd, 0, SEEK_SET) == 0)
            return true;
        *error = Reason("emptying " + m_path, errno);
        return false;
    }

    bool Write(const void* data, std::size_t size, std::string* error) override
    {
        const auto* bytes = static_cast<const char*>(data);
        while (size > 0) {
            const unsigned piece = size > (1u << 30) ? (1u << 30) : static_cast<unsigned>(size);
            const int n = ::_write(m_fd, bytes, piece);
            if (n <= 0) {
                *error = Reason("writing " + m_path, n < 0 ? errno : EIO);
                return false;
            }
            bytes += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

    bool Close(std::string* error) override
    {
        if (m_fd < 0)
            return true;
        const int fd = m_fd;
        m_fd = -1;
        // A full disk may show only when the data is written out.
        if (::_commit(fd) != 0) {
            *error = Reason("writing " + m_path + " out", errno);
            ::_close(fd);
            return false;
        }
        if (::_close(fd) != 0) {
            *error = Reason("closing " + m_path, errno);
            return false;
        }
        return true;
    }

    int Fd() const { return m_fd; }

private:
    int m_fd;
    std::string m_path;
};

}  // namespace

std::unique_ptr<RecordFile> RecordFile::CreateNew(const std::string& path, bool* exists, std::string* error)
{
    *exists = false;
    const int fd = ::_wopen(Utf8ToWide(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                            _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        *exists = errno == EEXIST;
        *error = Reason("cannot make " + path, errno);
        return nullptr;
    }
    return std::make_unique<WinFile>(fd, path);
}

std::unique_ptr<RecordFile> RecordFile::OpenExisting(const std::string& path, std::size_t peek, std::string* head,
                                                     std::string* error)
{
    if (const std::string problem = NotRegular(path); !problem.empty()) {
        *error = problem;
        return nullptr;
    }
    const int fd = ::_wopen(Utf8ToWide(path).c_str(), _O_RDWR | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) {
        *error = Reason("cannot open " + path, errno);
        return nullptr;
    }
    auto file = std::make_unique<WinFile>(fd, path);
    head->assign(peek, '\0');
    const int n = peek == 0 ? 0 : ::_read(fd, head->data(), static_cast<unsigned>(peek));
    if (n < 0) {
        *error = Reason("reading " + path, errno);
        return nullptr;
    }
    head->resize(static_cast<std::size_t>(n));
    return file;
}

bool RecordFile::ReadRegular(const std::string& path, std::uint64_t limit, std::string* bytes, std::string* error)
{
    if (const std::string problem = NotRegular(path); !problem.empty()) {
        *error = problem;
        return false;
    }
    const int fd = ::_wopen(Utf8ToWide(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) {
        *error = Reason("cannot open " + path, errno);
        return false;
    }
    WinFile file(fd, path);
    bytes->clear();
    char buffer[65536];
    for (;;) {
        const int n = ::_read(fd, buffer, sizeof buffer);
        if (n < 0) {
            *error = Reason("reading " + path, errno);
            return false;
        }
        if (n == 0)
            return true;
        if (bytes->size() + static_cast<std::size_t>(n) > limit) {
            *error = path + " is larger than " + std::to_string(limit) + " bytes";
            return false;
        }
        bytes->append(buffer, static_cast<std::size_t>(n));
    }
}

void RecordFile::Remove(const std::string& path)
{
    ::_wunlink(Utf8ToWide(path).c_str());
}

}  // namespace pyrrow::sim
