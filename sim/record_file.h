// The files the simulator opens by name (stored images, the trace, the
// expected image). None is ever waited on: a name that is a FIFO, a device
// or a folder is refused before it is opened, and opens do not block. One
// source file per operating system implements them (record_file_posix.cpp,
// record_file_win.cpp). Paths are UTF-8 on Windows, bytes elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace pyrrow::sim {

class RecordFile {
public:
    // Makes path, which must not exist yet (created exclusively: nothing is
    // ever written over). Null on failure, with the system's reason in
    // *error; *exists says whether a file of that name was in the way.
    static std::unique_ptr<RecordFile> CreateNew(const std::string& path, bool* exists, std::string* error);
    // Opens an existing regular file for writing it anew and gives its first
    // bytes (up to peek of them) in *head, so that the caller can decide
    // whether it may be replaced; nothing is changed yet. Null, with the
    // reason in *error, when it is no regular file or cannot be opened.
    static std::unique_ptr<RecordFile> OpenExisting(const std::string& path, std::size_t peek, std::string* head,
                                                    std::string* error);
    // Reads a regular file of at most limit bytes whole into *bytes. False,
    // with the reason in *error, for anything else.
    static bool ReadRegular(const std::string& path, std::uint64_t limit, std::string* bytes, std::string* error);
    // Removes a file this program made (a stored image that failed).
    static void Remove(const std::string& path);

    virtual ~RecordFile() = default;
    // Empties the file (after OpenExisting).
    virtual bool Truncate(std::string* error) = 0;
    // Writes all bytes at the end, or gives false with the reason.
    virtual bool Write(const void* data, std::size_t size, std::string* error) = 0;
    // Closes it; false, with the reason, when the system reports that what
    // was written did not reach the file. A second Close does nothing.
    virtual bool Close(std::string* error) = 0;
};

}  // namespace pyrrow::sim
