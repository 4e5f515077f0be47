// Inside the POSIX file stand-in: what a handle holds, and the helpers its
// sources share (path conversion, the line that tells a failure's cause,
// new files that get their name only when complete). Not for callers.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/file.h"

namespace pyrrow::platform {

// Owns what it holds: destroying it closes the descriptor and removes a
// temporary name, so that no failure, an exception included, leaves either.
struct OpenFile {
    OpenFile() = default;
    ~OpenFile();
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    enum class Kind {
        Plain,     // opened for reading (or writing straight through)
        Unnamed,   // a replacement in a file without a name until it is complete
        Named,     // a replacement in a file under a temporary name beside the target
        InPlace,   // a replacement written over the file itself (its folder is closed to us)
    };
    int fd = -1;
    Kind kind = Kind::Plain;
    std::string name;       // the path as the caller gave it, for messages
    std::string target;     // a replacement: the file replaced, links followed
    std::string temporary;  // Named: the temporary name until the commit
    bool committed = false;
    bool failed = false;  // a write failed or was short
    // Unnamed and Named: buffered output. InPlace: all of the new content,
    // held back until the commit so that a failure midway leaves the file.
    std::unique_ptr<char[]> buffer;
    std::size_t pending = 0;
    std::string whole;
};

namespace file_posix {

// Output of a replacement is gathered in blocks of this size.
constexpr std::size_t kWriteBuffer = 64 * 1024;

bool ToSystemPath(const char16_t* path, std::string* out);
// The path for a message, also one that names no file.
std::string Printable(const char16_t* path);

// Writes "file: <action> <object>: <reason>" to standard error. The forms
// with a fixed reason allocate nothing, so they serve when memory ran out.
void Report(const char* action, const std::string& object, const std::string& reason);
void Report(const char* action, const std::string& object, const char* reason) noexcept;
// The same with the system's text for an errno value.
void ReportError(const char* action, const std::string& object, int error) noexcept;
// "file: <action>: out of memory", for a failure that even the name of the
// file could not be had for.
void ReportNoMemory(const char* action) noexcept;
// Gives the cause of a failure (a reason, or else the error code) to cause,
// or, where the caller takes none, tells it on standard error. Where memory
// for the text runs out, cause gets the code without a text.
void Tell(SystemError* cause, const char* action, const std::string& object, int error,
          const char* reason = nullptr) noexcept;
std::string ErrorText(int error);

// Writes all of data; false with *error set when a write fails or writes nothing.
bool WriteAll(int fd, const char* data, std::size_t size, int* error);

// Writes out the buffered output of a replacement; false once any write
// failed (the first failure is told).
bool Flush(OpenFile* f);

std::string DirectoryOf(const std::string& path);

// A new, empty file for writing in the folder of near, that no other name
// reaches: without a name where the file system allows (it vanishes with
// the descriptor, whatever ends the program), otherwise under a free name
// beside near, given in *temporary. -1 with errno set on failure.
int CreateNewFile(const std::string& near, std::string* temporary);

// Removes the new files that saves to target left when they were ended at
// their commit (target + ".new-" + digits): those of this user that no save
// holds; each save holds its new file locked from its creation on.
void RemoveLeftNewFiles(const std::string& target) noexcept;

// Gives the complete new file its name: it replaces target in one step
// (replace true) or takes the name only when nothing is there (false). The
// temporary name, if any, is gone afterwards whatever the outcome. False
// with *error set on failure.
bool PlaceNewFile(int fd, std::string* temporary, const std::string& target, bool replace, int* error);

}  // namespace file_posix
}  // namespace pyrrow::platform
