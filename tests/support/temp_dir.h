// A fresh directory for one test, removed with everything in it afterwards,
// and helpers to read and write whole files as bytes or UTF-16 text.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pyrrow::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    // A file name inside the directory as UTF-16, for the library's calls.
    std::u16string File(const std::string& name) const;

private:
    std::filesystem::path m_path;
};

std::string ReadBytes(const std::filesystem::path& file);
void WriteBytes(const std::filesystem::path& file, const std::string& bytes);
// The contents of the files in a folder (the simulator's store), in name order.
std::vector<std::string> StoredImages(const std::filesystem::path& dir);
// UTF-16 code units as little-endian bytes, and back.
std::string Utf16LeBytes(const std::u16string& text);
std::u16string FromUtf16LeBytes(const std::string& bytes);

}  // namespace pyrrow::test
