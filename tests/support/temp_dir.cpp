#include "support/temp_dir.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <vector>

#include <utf8.h>

namespace pyrrow::test {

TempDir::TempDir()
{
    // A name nobody has taken: create_directory fails on one that exists.
    std::random_device random;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::filesystem::path candidate = base / ("pyrrow-test-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate)) {
            m_path = std::move(candidate);
            return;
        }
    }
    throw std::runtime_error("no fresh temporary directory");
}

namespace {

// Removes a tree depth first, reading each folder whole before anything in
// it goes: under Wine a folder cannot be removed while a listing of it is
// open, and remove_all, which removes while it lists, then never ends.
void RemoveTree(const std::filesystem::path& path)
{
    std::error_code ignored;
    // A folder the test made unreadable is opened up; a symbolic link is
    // removed, never followed.
    if (std::filesystem::is_directory(std::filesystem::symlink_status(path, ignored))) {
        std::filesystem::permissions(path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ignored);
        std::vector<std::filesystem::path> entries;
        for (std::filesystem::directory_iterator it(path, ignored), end; !ignored && it != end; it.increment(ignored))
            entries.push_back(it->path());
        for (const std::filesystem::path& entry : entries)
            RemoveTree(entry);
    }
    std::filesystem::remove(path, ignored);
}

}  // namespace

TempDir::~TempDir()
{
    RemoveTree(m_path);
}

std::u16string TempDir::File(const std::string& name) const
{
    return (m_path / std::filesystem::path(utf8::utf8to16(name))).u16string();
}

std::string ReadBytes(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::filesystem::path& file, const std::string& bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> StoredImages(const std::filesystem::path& dir)
{
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<std::string> images;
    for (const auto& f : files)
        images.push_back(ReadBytes(f));
    return images;
}

std::string Utf16LeBytes(const std::u16string& text)
{
    std::string bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

std::u16string FromUtf16LeBytes(const std::string& bytes)
{
    std::u16string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             static_cast<unsigned char>(bytes[i + 1]) << 8));
    return text;
}

}  // namespace pyrrow::test
